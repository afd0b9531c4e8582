#pragma once

#include "platform/Backend.h"

#include <QString>

namespace pressmark {

// The input dialog of the window program, in front of the platform's
// dialogs: an answer holding a character that code page 1251 cannot hold is
// refused with an error notice naming the character, and the dialog stays
// open for the user to correct it. Message boxes go to the platform's own,
// owned by the main window when the caller names no owner.
class CheckedDialogs final : public platform::Dialogs {
public:
    explicit CheckedDialogs(platform::Dialogs& inner) : m_inner(inner) {}

    bool notice(std::string_view text, int kind, const void* owner) override;
    std::optional<std::string> askValue(std::string_view initial, std::string_view prompt,
                                        std::string_view caption) override;

    // The owner of notices shown without one (the main window's native id).
    void setDefaultOwner(const void* owner) { m_defaultOwner = owner; }

    // The refusal's text for a character (1251).
    static std::string refusalText(char32_t character);

private:
    platform::Dialogs& m_inner;
    const void* m_defaultOwner = nullptr;
};

} // namespace pressmark
