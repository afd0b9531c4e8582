#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>

#include "X11TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <thread>

namespace pressmark::x11test {

Target::Target(const QStringList& args) {
    m_proc.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_proc.start(QStringLiteral(PRESSMARK_X11_TARGET), args);
    waitFor([this] { return m_winId != 0; }, std::chrono::seconds(20));
}

Target::~Target() {
    m_proc.kill();
    m_proc.waitForFinished(5000);
    // Lets a window manager finish with the window before the next one
    // appears.
    pump(std::chrono::milliseconds(150));
}

bool Target::readLines() {
    const QByteArray chunk = m_proc.readAllStandardOutput();
    if (chunk.isEmpty()) {
        return false;
    }
    m_pending += chunk;
    for (;;) {
        const auto nl = m_pending.indexOf('\n');
        if (nl < 0) {
            break;
        }
        const QByteArray line = m_pending.left(nl);
        m_pending.remove(0, nl + 1);
        if (std::getenv("TARGET_KEYLOG")) {
            std::fprintf(stderr, "target: %s\n", line.constData());
        }
        if (line.startsWith("press ")) {
            const QList<QByteArray> f = line.split(' ');
            if (f.size() == 4) {
                const int button = f[1] == "L" ? 1 : f[1] == "R" ? 3 : 0;
                m_presses.push_back(LoggedPress{button, f[2].toInt(), f[3].toInt()});
                m_lastChange = std::chrono::steady_clock::now();
            }
        } else if (line.startsWith("text ")) {
            m_text = line.mid(5).toStdString();
            m_lastChange = std::chrono::steady_clock::now();
        } else if (line == "text") {
            m_text.clear();
            m_lastChange = std::chrono::steady_clock::now();
        } else if (line == "cleared") {
            ++m_clears;
        } else if (line == "focus") {
            m_focused = true;
        } else if (line.startsWith("ready ")) {
            m_winId = line.mid(6).toULong();
        }
    }
    return true;
}

bool Target::waitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
    QElapsedTimer t;
    t.start();
    for (;;) {
        readLines();
        if (pred()) {
            return true;
        }
        if (t.elapsed() > timeout.count() || m_proc.state() == QProcess::NotRunning) {
            readLines();
            return pred();
        }
        QCoreApplication::processEvents();
        m_proc.waitForReadyRead(5);
    }
}

bool Target::clearText() {
    const int before = m_clears;
    m_proc.write("clear\n");
    m_proc.waitForBytesWritten(1000);
    return waitFor([this, before] { return m_clears > before && m_text.empty(); });
}

void Target::settle(std::chrono::milliseconds quiet) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < quiet.count()) {
        QCoreApplication::processEvents();
        m_proc.waitForReadyRead(5);
        if (readLines()) {
            t.restart();
        }
    }
}

int run(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) {
        return -1;
    }
    return p.exitCode();
}

int xdotool(const QStringList& args) {
    return run(QStringLiteral("xdotool"), args);
}

BusyCores::BusyCores() {
    for (int i = 0; i < 2; ++i) {
        auto p = std::make_unique<QProcess>();
        p->setStandardOutputFile(QProcess::nullDevice());
        p->start(QStringLiteral("yes"), {});
        p->waitForStarted();
        m_loops.push_back(std::move(p));
    }
}

BusyCores::~BusyCores() {
    for (auto& p : m_loops) {
        p->kill();
        p->waitForFinished(5000);
    }
}

Display* display() {
    auto* x = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x ? x->display() : nullptr;
}

namespace {
int recordError(Display*, XErrorEvent* e) {
    XErrorTrap::codes().push_back(e->error_code);
    return 0;
}
} // namespace

XErrorTrap::XErrorTrap() : m_previous(XSetErrorHandler(recordError)) {
    codes().clear();
}

XErrorTrap::~XErrorTrap() {
    XSetErrorHandler(m_previous);
}

std::vector<int>& XErrorTrap::codes() {
    static std::vector<int> c;
    return c;
}

void pump(std::chrono::milliseconds d) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < d.count()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace pressmark::x11test
