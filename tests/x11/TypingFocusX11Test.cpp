// Where typed text goes when the keyboard focus has gone astray: on nobody,
// or on our own window (our prompt has just closed). It must reach the window
// of the last foreign press the pointer sampled; a focus the user gave
// another program, and any focus while nothing was sampled, is left alone.
// Run with and without a window manager.
#include <QApplication>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>

#include "X11TestSupport.h"
#include "platform/x11/InputX11.h"
#include "platform/x11/PointerX11.h"
#include "platform/x11/X11Util.h"
#include "base/Cp1251.h"

namespace pressmark::x11test {
namespace {

using platform::x11::isWithin;

enum class Focus { OnPointerRoot, Nobody, OwnWindow, OtherProgram };
// Where the text must arrive; Unchanged: wherever the focus sends keys just
// before typing (under a window manager it may move a focus set to nobody).
enum class Lands { Clicked, Other, Own, Unchanged };

Window focusNow() {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display(), &focus, &revert);
    return focus;
}

bool waitForFocusWithin(Window w) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        const Window f = focusNow();
        if (f != None && f != PointerRoot && isWithin(display(), f, w)) {
            return true;
        }
        pump(std::chrono::milliseconds(10));
    }
    return false;
}

QStringList pointAt(unsigned long window) {
    return {"mousemove", "--window", QString::number(window), "150", "20"};
}

TEST(TypingFocusX11, TextGoesToTheLastForeignPressWhenTheFocusIsAstray) {
    run("setxkbmap", {"us"});
    Target clicked({"--rect", "100,100,400,120", "--title", "clicked"});
    Target other({"--rect", "700,100,400,120", "--title", "other"});
    ASSERT_TRUE(clicked.started());
    ASSERT_TRUE(other.started());
    QWidget own;
    own.setWindowTitle(QStringLiteral("own"));
    auto* ownEdit = new QLineEdit(&own);
    (new QVBoxLayout(&own))->addWidget(ownEdit);
    own.setGeometry(100, 500, 400, 120);
    own.show();
    pump(std::chrono::milliseconds(300));
    const auto ownId = static_cast<Window>(own.winId());

    platform::x11::PointerX11 ptr(display());
    platform::x11::InputX11 input(display());
    input.followForeignPresses(&ptr);

    const char* utf8 = "Привет, мир 1";
    const auto text = cp1251::fromUtf8(utf8);
    ASSERT_TRUE(text);
    const struct {
        const char* name;
        Focus focus;
        bool sampling;
        Lands lands;
    } cases[] = {
        // The pointer rests on the other program, where PointerRoot alone
        // would send the keys.
        {"PointerRoot", Focus::OnPointerRoot, true, Lands::Clicked},
        {"nobody", Focus::Nobody, true, Lands::Clicked},
        {"our own window", Focus::OwnWindow, true, Lands::Clicked},
        {"another program, the user's choice", Focus::OtherProgram, true, Lands::Other},
        {"PointerRoot, nothing sampled", Focus::OnPointerRoot, false, Lands::Unchanged},
        {"our own window, nothing sampled", Focus::OwnWindow, false, Lands::Unchanged},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(clicked.clearText());
        ASSERT_TRUE(other.clearText());
        ownEdit->clear();

        // A press into the foreign text field, then one on our own window
        // (the button that asks for the text): only the first counts.
        ptr.startSampling();
        ASSERT_EQ(xdotool(pointAt(clicked.winId()) << "click"
                                                   << "1"),
                  0);
        pump(std::chrono::milliseconds(300));
        ASSERT_EQ(xdotool(pointAt(ownId) << "click"
                                         << "1"),
                  0);
        pump(std::chrono::milliseconds(300));
        ptr.takePresses();
        EXPECT_EQ(ptr.lastForeignWindow(), clicked.winId()) << "the client, not its frame";
        if (!c.sampling) {
            ptr.stopSampling();
        }

        switch (c.focus) {
        case Focus::OnPointerRoot:
            XSetInputFocus(display(), PointerRoot, RevertToPointerRoot, CurrentTime);
            break;
        case Focus::Nobody:
            XSetInputFocus(display(), None, RevertToNone, CurrentTime);
            break;
        case Focus::OwnWindow:
            own.activateWindow();
            ASSERT_TRUE(waitForFocusWithin(ownId));
            break;
        case Focus::OtherProgram:
            XSetInputFocus(display(), static_cast<Window>(other.winId()), RevertToPointerRoot,
                           CurrentTime);
            ASSERT_TRUE(waitForFocusWithin(static_cast<Window>(other.winId())));
            break;
        }
        ASSERT_EQ(xdotool(pointAt(other.winId())), 0);
        XSync(display(), False);
        pump(std::chrono::milliseconds(200));

        Lands lands = c.lands;
        if (lands == Lands::Unchanged) {
            // PointerRoot: the window under the pointer, the other program.
            const Window f = focusNow();
            lands = f != PointerRoot && isWithin(display(), f, ownId) ? Lands::Own : Lands::Other;
        }
        const platform::TypeReport r = input.typeText(utf8);
        EXPECT_EQ(r.typed, static_cast<int>(text->size()));
        Target& arrives = lands == Lands::Clicked ? clicked : other;
        if (lands != Lands::Own) {
            arrives.waitFor([&] { return arrives.text() == utf8; });
        }
        clicked.settle();
        other.settle();
        pump(std::chrono::milliseconds(200));
        EXPECT_EQ(clicked.text(), lands == Lands::Clicked ? utf8 : "");
        EXPECT_EQ(other.text(), lands == Lands::Other ? utf8 : "");
        EXPECT_EQ(ownEdit->text().toStdString(), lands == Lands::Own ? utf8 : "");
        ptr.stopSampling();
    }
}

} // namespace
} // namespace pressmark::x11test
