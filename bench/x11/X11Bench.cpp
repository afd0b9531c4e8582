// The X11 backend against xdotool, on one target in one run: clicks per
// second delivered, characters per second typed and how many came out wrong,
// and the raw rate of bare XTest press/release pairs. Prints FIGURE lines.
#include <QApplication>
#include <QStringList>

#include "platform/x11/InputX11.h"
#include "base/Cp1251.h"
#include "tests/x11/X11TestSupport.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <X11/extensions/XTest.h>

namespace {

using namespace pressmark;
using Clock = std::chrono::steady_clock;
using x11test::Target;

constexpr int clicks = 2000;
// Enough pairs that the server-side loops take a measurable time.
constexpr int serverClicks = 50000;

void figure(const char* name, double value) {
    std::printf("FIGURE %s %.6g\n", name, value);
    std::fflush(stdout);
}

// Edit distance between what was meant and what arrived, in characters.
std::size_t wrongCharacters(const std::u32string& want, const std::u32string& got) {
    std::vector<std::size_t> row(got.size() + 1);
    for (std::size_t j = 0; j <= got.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= want.size(); ++i) {
        std::size_t diag = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= got.size(); ++j) {
            const std::size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (want[i - 1] != got[j - 1])});
            diag = up;
        }
    }
    return row[got.size()];
}

struct Rate {
    double perSecond = 0;
    long missing = 0;
};

// Starts the injection into a fresh full-screen target, then waits until it
// has logged every press (or nothing more comes); the rate is over the time
// to the last press.
template <typename Inject> Rate clickRate(int w, int h, Inject inject) {
    Target target({"--rect", QStringLiteral("0,0,%1,%2").arg(w).arg(h)});
    x11test::pump(std::chrono::milliseconds(300));
    const auto start = Clock::now();
    inject();
    target.waitFor([&] { return target.presses().size() >= clicks; }, std::chrono::seconds(60));
    target.settle(std::chrono::milliseconds(500));
    const auto got = static_cast<long>(target.presses().size());
    const double secs = std::chrono::duration<double>(target.lastChange() - start).count();
    return Rate{secs > 0 ? got / secs : 0, clicks - got};
}

struct Typed {
    double cps = 0;
    std::size_t wrong = 0;
};

template <typename Inject> Typed typeRate(const std::string& utf8, Inject inject) {
    Target target({"--title", "bench-typing"});
    target.waitFor([&] { return target.focused(); });
    x11test::pump(std::chrono::milliseconds(200));
    const auto start = Clock::now();
    inject();
    target.waitFor([&] { return target.text() == utf8; }, std::chrono::seconds(60));
    target.settle(std::chrono::milliseconds(1500));
    const std::u32string want = utf8::decode(utf8);
    const std::u32string got = utf8::decode(target.text());
    const double secs = std::chrono::duration<double>(target.lastChange() - start).count();
    const auto right = static_cast<double>(want.size()) -
                       static_cast<double>(std::min(want.size(), wrongCharacters(want, got)));
    return Typed{secs > 0 ? right / secs : 0, wrongCharacters(want, got)};
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    Display* dpy = x11test::display();
    if (!dpy) {
        std::fprintf(stderr, "x11_bench: needs an X11 display\n");
        return 1;
    }
    x11test::run("setxkbmap", {"us"});
    platform::x11::InputX11 input(dpy);
    const int w = DisplayWidth(dpy, DefaultScreen(dpy));
    const int h = DisplayHeight(dpy, DefaultScreen(dpy));

    input.moveTo(32768, 32768);
    const Rate ours = clickRate(w, h, [&] {
        for (int i = 0; i < clicks; ++i) {
            input.button(platform::MouseButton::Left, true);
            input.button(platform::MouseButton::Left, false);
        }
    });
    const Rate xdo = clickRate(w, h, [&] {
        x11test::xdotool({"click", "--repeat", QString::number(clicks), "--delay", "0", "1"});
    });
    // The server's own limit: bare pairs, each event flushed, until the
    // server has taken them all, whoever reads them.
    const auto rawStart = Clock::now();
    for (int i = 0; i < serverClicks; ++i) {
        XTestFakeButtonEvent(dpy, 1, True, CurrentTime);
        XFlush(dpy);
        XTestFakeButtonEvent(dpy, 1, False, CurrentTime);
        XFlush(dpy);
    }
    XSync(dpy, False);
    const double rawSecs = std::chrono::duration<double>(Clock::now() - rawStart).count();
    // The same for the backend's own calls, to compare with that limit.
    const auto sentStart = Clock::now();
    for (int i = 0; i < serverClicks; ++i) {
        input.button(platform::MouseButton::Left, true);
        input.button(platform::MouseButton::Left, false);
    }
    XSync(dpy, False);
    const double sentSecs = std::chrono::duration<double>(Clock::now() - sentStart).count();
    figure("x11.clicks_per_s", ours.perSecond);
    figure("x11.clicks_sent_per_s", serverClicks / sentSecs);
    figure("x11.clicks_lost", static_cast<double>(ours.missing));
    figure("xdotool.clicks_per_s", xdo.perSecond);
    figure("xdotool.clicks_lost", static_cast<double>(xdo.missing));
    figure("xtest.clicks_per_s", serverClicks / rawSecs);

    const struct {
        const char* name;
        std::string text;
    } texts[] = {
        {"latin", "The quick brown fox jumps over the lazy dog. Pack my box with five dozen "
                  "liquor jugs! 0123456789 (Hello, World) @#$%^&*_+=[]{};:'\",.<>/?|~`"},
        {"cyrillic", "Съешь же ещё этих мягких французских булок, да выпей чаю. Широкая "
                     "электрификация южных губерний даст мощный толчок подъёму сельского "
                     "хозяйства. ЁЖИК В ТУМАНЕ!"},
    };
    for (const auto& t : texts) {
        const Typed ours = typeRate(t.text, [&] { input.typeText(t.text); });
        input.restoreSpareKeys();
        const Typed xdo = typeRate(t.text, [&] {
            x11test::xdotool({"type", "--delay", "0", QString::fromStdString(t.text)});
        });
        const std::string base = std::string("type_") + t.name;
        figure(("x11." + base + "_cps").c_str(), ours.cps);
        figure(("x11." + base + "_wrong").c_str(), static_cast<double>(ours.wrong));
        figure(("xdotool." + base + "_cps").c_str(), xdo.cps);
        figure(("xdotool." + base + "_wrong").c_str(), static_cast<double>(xdo.wrong));
    }
    return 0;
}
