// A program to be clicked on and typed into: it logs every mouse press with
// its root position and every change of its text field, one line each, to
// the file given as its argument.
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTextStream>
#include <QWidget>
#include <QWindow>

namespace {

class Logger : public QObject {
public:
    explicit Logger(const QString& path) : m_file(path) {
        m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
    }
    void line(const QString& text) {
        QTextStream(&m_file) << text << '\n';
        m_file.flush();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Seen once per press, at the window, before any widget takes it.
        if (event->type() == QEvent::MouseButtonPress && watched->isWindowType()) {
            auto* m = static_cast<QMouseEvent*>(event);
            const QPoint p = m->globalPosition().toPoint();
            line(QStringLiteral("press %1 %2 %3")
                     .arg(m->button() == Qt::LeftButton ? QStringLiteral("L") : QStringLiteral("R"))
                     .arg(p.x())
                     .arg(p.y()));
        }
        return false;
    }

private:
    QFile m_file;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        return 2;
    }
    Logger log(QString::fromLocal8Bit(argv[1]));
    QWidget window;
    window.setWindowTitle(QStringLiteral("ClickTarget"));
    window.setGeometry(720, 150, 500, 400);
    auto* edit = new QLineEdit(&window);
    edit->setObjectName(QStringLiteral("edit"));
    edit->setGeometry(20, 20, 460, 30);
    QObject::connect(edit, &QLineEdit::textChanged, &log,
                     [&log](const QString& t) { log.line(QStringLiteral("text ") + t); });
    app.installEventFilter(&log);
    window.show();
    return QApplication::exec();
}
