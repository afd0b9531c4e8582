// The foreign program of every test and benchmark that clicks and types: a
// window with one text field that reports, one line each,
//   ready <window id>      once it is shown
//   focus                  when the text field has the keyboard focus
//   press <L|R> <x> <y>    every left or right press, in root pixels
//   text <utf8>            the field's whole text after every change
//   key <code> <mods> <t>  every key press, when TARGET_KEYLOG is set
// on stdout, or appended to LOGFILE when one is given (the end-to-end
// scripts read the file, and empty it between rounds). A Wayland client
// cannot learn where its window is: there the compositor is told to put it
// at the --rect's corner (the test session's window rules), and the presses
// are that corner plus the window's own position. A line "clear" on
// stdin empties the text field, and it answers "cleared".
// Usage: target [--rect X,Y,W,H | --fullscreen] [--title T] [LOGFILE]
// --fullscreen covers the first screen, where a compositor places a window
// as it likes and tells no one (GNOME): its corner is the screen's.
// With a LOGFILE the window is "ClickTarget" at 720,150, 500x400; without,
// "pressmark-target" at the origin, 400x120.
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSocketNotifier>
#include <QStringList>
#include <QWidget>
#include <QScreen>
#include <QWindow>
#include <QtMath>

#include <QKeyEvent>

#include <cstdio>
#include <optional>
#include <cstdlib>
#include <cstring>

namespace {

QFile* g_log = nullptr;

void say(const QByteArray& line) {
    if (g_log) {
        g_log->write(line + '\n');
        g_log->flush();
        return;
    }
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Watches the native window: it receives every press exactly once, whatever
// widget inside ends up handling it.
class PressLog final : public QObject {
public:
    // The window's corner on the screen when only the scripts know it.
    std::optional<QPoint> corner;

    bool eventFilter(QObject* obj, QEvent* ev) override {
        if (ev->type() == QEvent::KeyPress && obj->isWindowType() && std::getenv("TARGET_KEYLOG")) {
            const auto* ke = static_cast<QKeyEvent*>(ev);
            say(QStringLiteral("key %1 %2 %3")
                    .arg(ke->nativeScanCode())
                    .arg(ke->nativeModifiers())
                    .arg(ke->text())
                    .toUtf8());
        }
        if (ev->type() == QEvent::MouseButtonPress && obj->isWindowType()) {
            const auto* me = static_cast<QMouseEvent*>(ev);
            const char* button = me->button() == Qt::LeftButton    ? "L"
                                 : me->button() == Qt::RightButton ? "R"
                                                                   : nullptr;
            if (button) {
                // The pixel pressed holds the position: a press at its
                // centre (x.5) belongs to it, not to the next one.
                const QPoint p = corner ? *corner + QPoint(qFloor(me->position().x()),
                                                           qFloor(me->position().y()))
                                        : me->globalPosition().toPoint();
                say(QStringLiteral("press %1 %2 %3")
                        .arg(QLatin1String(button))
                        .arg(p.x())
                        .arg(p.y())
                        .toUtf8());
            }
        }
        return false;
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QString logFile;
    QString title;
    std::optional<QRect> geometry;
    bool fullscreen = false;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--rect") && i + 1 < args.size()) {
            const QStringList v = args[++i].split(QLatin1Char(','));
            if (v.size() == 4) {
                geometry = QRect(v[0].toInt(), v[1].toInt(), v[2].toInt(), v[3].toInt());
            }
        } else if (args[i] == QLatin1String("--fullscreen")) {
            fullscreen = true;
        } else if (args[i] == QLatin1String("--title") && i + 1 < args.size()) {
            title = args[++i];
        } else {
            logFile = args[i];
        }
    }
    QFile logOut(logFile);
    if (!logFile.isEmpty()) {
        if (!logOut.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
            return 2;
        }
        g_log = &logOut;
    }
    if (title.isEmpty()) {
        title = g_log ? QStringLiteral("ClickTarget") : QStringLiteral("pressmark-target");
    }
    const QRect rect = geometry.value_or(g_log ? QRect(720, 150, 500, 400) : QRect(0, 0, 400, 120));

    QWidget window;
    window.setWindowTitle(title);
    // At a fixed place, which the end-to-end scripts click into.
    auto* field = new QLineEdit(&window);
    field->setObjectName(QStringLiteral("edit"));
    field->setMaxLength(1 << 20);
    field->setGeometry(20, 20, rect.width() - 40, 30);
    window.setGeometry(rect);

    PressLog log;
    if (geometry && QGuiApplication::platformName() == QLatin1String("wayland")) {
        log.corner = geometry->topLeft();
    }
    if (fullscreen && QGuiApplication::platformName() == QLatin1String("wayland")) {
        log.corner = QGuiApplication::primaryScreen()->geometry().topLeft();
    }
    app.installEventFilter(&log);
    QObject::connect(field, &QLineEdit::textChanged,
                     [](const QString& t) { say("text " + t.toUtf8()); });
    QObject::connect(&app, &QApplication::focusChanged, [field](QWidget*, QWidget* now) {
        if (now == field) {
            say("focus");
        }
    });

    // One target for several texts: a fresh window per text sometimes got no
    // keys at all under openbox, the focus still settling.
    QSocketNotifier commands(0, QSocketNotifier::Read);
    QObject::connect(&commands, &QSocketNotifier::activated, [&] {
        char line[64];
        if (!std::fgets(line, sizeof line, stdin)) {
            commands.setEnabled(false);
            return;
        }
        if (std::strncmp(line, "clear", 5) == 0) {
            field->clear();
            say("cleared");
        }
    });

    if (fullscreen) {
        window.showFullScreen();
    } else {
        window.show();
    }
    window.activateWindow();
    field->setFocus();
    say("ready " + QByteArray::number(static_cast<qulonglong>(window.winId())));
    return QApplication::exec();
}
