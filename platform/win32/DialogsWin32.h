#pragma once

#include "platform/Backend.h"

namespace pressmark::platform::win32 {

// MessageBoxW for the notices and a small modal window of our own for the
// one-line input dialog; both run their own message loop, so timers and hot
// keys of the thread keep being handled while they are open.
class DialogsWin32 final : public Dialogs {
public:
    static constexpr const wchar_t* AppTitle = L"Pressmark";
    // The window class of the input dialog and the control ids in it.
    static constexpr const wchar_t* AskClassName = L"PressmarkAskValue";
    static constexpr int PromptId = 100;
    static constexpr int EditId = 101;
    static constexpr int MaxAnswerLength = 255;

    // Kind 0: no icon, the application title (owned by owner when given);
    // 1 information, 2 error, 3 question with Yes and No, true for Yes
    // (Escape answers No).
    bool notice(std::string_view text, int kind, const void* owner) override;
    // OK (Enter) gives the edit box's text, Cancel (Escape) or closing the
    // window gives nullopt. OK is refused (a beep) while the text holds a
    // character that code page 1251 cannot hold.
    std::optional<std::string> askValue(std::string_view initial, std::string_view prompt,
                                        std::string_view caption) override;
};

} // namespace pressmark::platform::win32
