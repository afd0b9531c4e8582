#include "Win32TestSupport.h"

#include "platform/Platform.h"
#include "platform/win32/BackendWin32.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace pressmark {
namespace {

using platform::win32::BackendWin32;
using platform::win32::DialogsWin32;
using win32test::command;
using win32test::DialogUser;
using win32test::key;

class DialogsWin32Test : public ::testing::Test {
protected:
    void SetUp() override { backend.install(); }
    BackendWin32 backend;
};

TEST_F(DialogsWin32Test, NoticeKindsCaptionsButtonsAndAnswers) {
    struct Case {
        int kind;
        const wchar_t* caption;
        std::vector<int> buttons;
        std::vector<std::wstring> labels; // as on a Windows of any language
        int press;
        bool result;
    };
    const std::vector<Case> cases = {
        {0, L"Pressmark", {IDOK}, {L"OK"}, IDOK, false},
        {1, L"Information", {IDOK}, {L"OK"}, IDOK, false},
        {2, L"Error", {IDOK}, {L"OK"}, IDOK, false},
        {3, L"Confirm", {IDYES, IDNO}, {L"&Yes", L"&No"}, IDYES, true},
        {3, L"Confirm", {IDYES, IDNO}, {L"&Yes", L"&No"}, IDNO, false},
        {3, L"Confirm", {IDYES, IDNO}, {L"&Yes", L"&No"}, IDCANCEL, false}, // Escape
    };
    const std::string text = "Сценарий не найден!";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        DialogUser user(L"#32770", c.caption, [&](HWND w) {
            if (c.press == IDCANCEL) {
                key(GetDlgItem(w, IDYES), VK_ESCAPE);
                Sleep(300);
                // Still open: Escape was not taken as an answer.
                if (IsWindow(w)) {
                    command(w, IDYES);
                }
            } else {
                command(w, c.press);
            }
        });
        EXPECT_EQ(Notice(text, c.kind), c.result);
        const auto& seen = user.seen();
        ASSERT_TRUE(seen.found);
        EXPECT_EQ(seen.text, L"\u0421\u0446\u0435\u043d\u0430\u0440\u0438\u0439 \u043d\u0435 "
                             L"\u043d\u0430\u0439\u0434\u0435\u043d!");
        EXPECT_EQ(seen.buttons, c.buttons);
        EXPECT_EQ(seen.labels, c.labels);
    }
    // A kind outside 0..3 shows nothing and answers false at once.
    EXPECT_FALSE(backend.dialogs().notice("x", 7, nullptr));
    EXPECT_FALSE(Notice("x", 7));
}

TEST_F(DialogsWin32Test, AskValueAnswers) {
    const std::string caption = "Настройки действия";
    const std::string prompt = "Увеличение задержки между действием(милисекунды)";
    const std::wstring wideCaption =
        L"\u041d\u0430\u0441\u0442\u0440\u043e\u0439\u043a\u0438 \u0434\u0435\u0439\u0441\u0442"
        L"\u0432\u0438\u044f";
    struct Case {
        const char* name;
        std::function<void(HWND)> act;
        std::optional<std::string> answer;
    };
    const auto typeAndEnter = [](const wchar_t* text) {
        return [text](HWND w) {
            HWND edit = GetDlgItem(w, DialogsWin32::EditId);
            SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
            key(edit, VK_RETURN);
        };
    };
    const std::vector<Case> cases = {
        {"enter on the initial value",
         [](HWND w) { key(GetDlgItem(w, DialogsWin32::EditId), VK_RETURN); }, "0"},
        {"typed and Enter", typeAndEnter(L"-500"), "-500"},
        {"emptied and OK",
         [](HWND w) {
             SetDlgItemTextW(w, DialogsWin32::EditId, L"");
             command(w, IDOK);
         },
         ""},
        {"Cyrillic", typeAndEnter(L"\u041f\u0440\u0438\u0432\u0435\u0442"), "Привет"},
        {"Escape", [](HWND w) { key(GetDlgItem(w, DialogsWin32::EditId), VK_ESCAPE); },
         std::nullopt},
        {"Cancel", [](HWND w) { command(w, IDCANCEL); }, std::nullopt},
        {"closed", [](HWND w) { PostMessageW(w, WM_CLOSE, 0, 0); }, std::nullopt},
        {"outside 1251 refused, then cancelled",
         [](HWND w) {
             SetDlgItemTextW(w, DialogsWin32::EditId, L"a\u4e2d");
             command(w, IDOK);
             Sleep(200);
             // Still open: OK did not take a text that cannot be stored.
             if (IsWindow(w)) {
                 command(w, IDCANCEL);
             }
         },
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DialogUser user(DialogsWin32::AskClassName, wideCaption, c.act);
        EXPECT_EQ(AskValueOrCancel("0", prompt, caption), c.answer);
        const auto& seen = user.seen();
        ASSERT_TRUE(seen.found);
        EXPECT_EQ(seen.text, L"0");
        EXPECT_EQ(seen.limit, DialogsWin32::MaxAnswerLength);
        EXPECT_EQ(seen.selection, static_cast<DWORD>(MAKELONG(0, 1))) << "all of it selected";
        EXPECT_EQ(seen.buttons, (std::vector<int>{IDOK, IDCANCEL}));
    }
    // Cancelled, the plain form gives back the initial value.
    DialogUser user(DialogsWin32::AskClassName, wideCaption, [](HWND w) { command(w, IDCANCEL); });
    EXPECT_EQ(AskValue("300", prompt, caption), "300");
}

} // namespace
} // namespace pressmark
