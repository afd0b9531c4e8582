// A foreign program for the X11 tests and the benchmark: a window with one
// text field that reports on stdout, one line each,
//   ready <window id>      once it is shown
//   focus                  when the text field has the keyboard focus
//   press <1|3> <x> <y>    every left or right press, in root pixels
//   text <utf8>            the field's whole text after every change
//   key <code> <mods> <t>  every key press, when TARGET_KEYLOG is set
// A line "clear" on stdin empties the text field, and it answers "cleared".
// Usage: x11_target [--rect X,Y,W,H] [--title T]
#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSocketNotifier>
#include <QStringList>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

#include <QKeyEvent>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void say(const QByteArray& line) {
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Watches the native window: it receives every press exactly once, whatever
// widget inside ends up handling it.
class PressLog final : public QObject {
public:
    using QObject::QObject;
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
            const int button = me->button() == Qt::LeftButton    ? 1
                               : me->button() == Qt::RightButton ? 3
                                                                 : 0;
            if (button != 0) {
                const QPoint p = me->globalPosition().toPoint();
                say(QStringLiteral("press %1 %2 %3").arg(button).arg(p.x()).arg(p.y()).toUtf8());
            }
        }
        return false;
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QRect geometry(0, 0, 400, 120);
    QString title = QStringLiteral("pressmark-target");
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--rect")) {
            const QStringList v = args[i + 1].split(QLatin1Char(','));
            if (v.size() == 4) {
                geometry = QRect(v[0].toInt(), v[1].toInt(), v[2].toInt(), v[3].toInt());
            }
        } else if (args[i] == QLatin1String("--title")) {
            title = args[i + 1];
        }
    }

    QWidget window;
    window.setWindowTitle(title);
    auto* layout = new QVBoxLayout(&window);
    auto* field = new QLineEdit(&window);
    field->setMaxLength(1 << 20);
    layout->addWidget(field);
    layout->addStretch();
    window.setGeometry(geometry);

    PressLog log;
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

    window.show();
    window.activateWindow();
    field->setFocus();
    say("ready " + QByteArray::number(static_cast<qulonglong>(window.winId())));
    return QApplication::exec();
}
