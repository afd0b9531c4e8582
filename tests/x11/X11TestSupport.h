#pragma once

#include <QProcess>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <X11/Xlib.h>

namespace pressmark::x11test {

struct LoggedPress {
    int button = 0;
    int x = 0;
    int y = 0;
    friend bool operator==(const LoggedPress&, const LoggedPress&) = default;
};

// The foreign program (tests/target) in its own process, and what it logged.
class Target {
public:
    explicit Target(const QStringList& args = {});
    ~Target();
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

    bool started() const { return m_winId != 0; }
    unsigned long winId() const { return m_winId; }
    const std::vector<LoggedPress>& presses() const { return m_presses; }
    const std::string& text() const { return m_text; }
    bool focused() const { return m_focused; }
    int clears() const { return m_clears; }
    // When the last press or text change arrived.
    std::chrono::steady_clock::time_point lastChange() const { return m_lastChange; }
    // Reads what has arrived, handling our own events meanwhile, until pred
    // holds or the timeout passes. Returns pred().
    bool waitFor(const std::function<bool()>& pred,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Empties the text field and waits until it is empty.
    bool clearText();
    // Waits until nothing new has arrived for quiet.
    void settle(std::chrono::milliseconds quiet = std::chrono::milliseconds(300));

private:
    bool readLines();
    QProcess m_proc;
    unsigned long m_winId = 0;
    bool m_focused = false;
    int m_clears = 0;
    std::vector<LoggedPress> m_presses;
    std::string m_text;
    QByteArray m_pending;
    std::chrono::steady_clock::time_point m_lastChange{};
};

// Runs a program to its end; its exit code (-1 when it could not run).
int run(const QString& program, const QStringList& args);
int xdotool(const QStringList& args);

// Two busy loops, one per core, for as long as the object lives.
class BusyCores {
public:
    BusyCores();
    ~BusyCores();
    BusyCores(const BusyCores&) = delete;
    BusyCores& operator=(const BusyCores&) = delete;

private:
    std::vector<std::unique_ptr<QProcess>> m_loops;
};

// Qt's own connection to the display.
Display* display();
// Keeps Xlib from ending the process on a protocol error while it lives, and
// remembers the error codes seen.
class XErrorTrap {
public:
    XErrorTrap();
    ~XErrorTrap();
    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;
    static std::vector<int>& codes();

private:
    int (*m_previous)(Display*, XErrorEvent*);
};

// Spins our event loop for a while.
void pump(std::chrono::milliseconds d);

} // namespace pressmark::x11test
