// A user's mouse and keyboard on GNOME, through its remote desktop, with
// clicks held as a hand holds them (GNOME Shell's extension sees a press
// only while the button is down).
// usage: mutter_inject COMMAND...
//   pixel X Y      move to a pixel of the primary monitor
//   click          left press, held 60 ms, and release there
//   rclick         the same with the right button
//   down CODE      press an evdev key (up CODE releases it)
//   key CODE       press and release it
//   sleep MS       wait, everything sent so far taken first
//   shot FILE      a PNG of the screen, from GNOME Shell (which gives it only
//                  to its own screenshot tool's bus name: this takes it)
#include "platform/wayland/MutterRemote.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>

#include <linux/input-event-codes.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

using pressmark::platform::Point;
using pressmark::platform::wayland::MutterRemote;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::string why;
    auto remote = MutterRemote::start(why);
    if (!remote) {
        std::fprintf(stderr, "mutter_inject: %s\n", why.c_str());
        return 1;
    }
    remote->makeDevices(true, true);
    const auto pause = [&](int ms) {
        remote->sync();
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    };
    pause(300); // programs bind the new devices
    for (int i = 1; i < argc; ++i) {
        const std::string c = argv[i];
        const auto number = [&] { return i + 1 < argc ? std::atoi(argv[++i]) : 0; };
        if (c == "pixel") {
            const int x = number();
            remote->move(Point{x, number()});
        } else if (c == "click" || c == "rclick") {
            const std::uint32_t button = c == "click" ? BTN_LEFT : BTN_RIGHT;
            remote->button(button, true);
            pause(60);
            remote->button(button, false);
        } else if (c == "down" || c == "up") {
            remote->key(static_cast<std::uint32_t>(number()), c == "down");
        } else if (c == "key") {
            const auto code = static_cast<std::uint32_t>(number());
            remote->key(code, true);
            remote->key(code, false);
        } else if (c == "shot" && i + 1 < argc) {
            QDBusConnection bus = QDBusConnection::sessionBus();
            bus.registerService(QStringLiteral("org.gnome.Screenshot"));
            pause(200); // the shell learns who owns the name
            QDBusMessage m = QDBusMessage::createMethodCall(
                QStringLiteral("org.gnome.Shell.Screenshot"),
                QStringLiteral("/org/gnome/Shell/Screenshot"),
                QStringLiteral("org.gnome.Shell.Screenshot"), QStringLiteral("Screenshot"));
            m.setArguments({false, false, QString::fromLocal8Bit(argv[++i])});
            const QDBusMessage reply = bus.call(m);
            if (reply.type() != QDBusMessage::ReplyMessage) {
                std::fprintf(stderr, "mutter_inject: no screenshot: %s\n",
                             qPrintable(reply.errorMessage()));
            }
        } else if (c == "sleep") {
            pause(number());
        } else {
            std::fprintf(stderr, "mutter_inject: unknown command %s\n", c.c_str());
            return 2;
        }
    }
    remote->sync();
    return 0;
}
