#pragma once

#include "platform/Backend.h"

class QWidget;

namespace pressmark::platform::x11 {

// The message and input dialogs as Qt dialogs. An owner, where given, is the
// native id (WId) of one of our windows.
class DialogsQt final : public Dialogs {
public:
    bool notice(std::string_view text, int kind, const void* owner) override;
    std::optional<std::string> askValue(std::string_view initial, std::string_view prompt,
                                        std::string_view caption) override;
};

} // namespace pressmark::platform::x11
