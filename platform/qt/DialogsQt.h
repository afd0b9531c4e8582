#pragma once

#include "platform/Backend.h"

#include <QString>

class QWidget;

namespace pressmark::platform::qt {

// The message and input dialogs as Qt dialogs. A message box is centred on
// the screen and modal to the whole program; an owner, where given, is the
// native id (WId) of the window it must stay above.
class DialogsQt final : public Dialogs {
public:
    bool notice(std::string_view text, int kind, const void* owner) override;
    std::optional<std::string> askValue(std::string_view initial, std::string_view prompt,
                                        std::string_view caption) override;

    // The owner of notices shown without one (the main window's native id).
    void setDefaultOwner(const void* owner) { m_defaultOwner = owner; }

    // The generic error report: "Pressmark", the error icon and OK, shown
    // like every other message box.
    static void errorReport(const QString& text, const void* owner = nullptr);
    static void warning(const QString& caption, const QString& text, const void* owner = nullptr);

private:
    const void* m_defaultOwner = nullptr;
};

} // namespace pressmark::platform::qt
