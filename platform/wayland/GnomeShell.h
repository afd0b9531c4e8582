#pragma once

#include "HotKeySet.h"
#include "InputWayland.h"
#include "WaylandSession.h"
#include "platform/Backend.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace pressmark::platform::wayland {

// What GNOME Shell alone can tell or do, through the extension Pressmark
// ships for it (org.pressmark.Shell on the session bus): where presses land,
// the hot keys, the input source to type with. The extension lets go of all
// that this program took when the program leaves the bus, killed or not.
// Its signals are sent to this program alone and heard on the thread that
// made the object (the program's).
class GnomeShell final : public QObject {
    Q_OBJECT
public:
    // Null when the extension does not answer.
    static std::shared_ptr<GnomeShell> connect();
    // Why it does not, and what the user can do (UTF-8), naming the hot
    // keys too unless another service gives them; empty where GNOME Shell
    // is not running at all.
    static std::string missingReason(bool hotKeysToo);
    ~GnomeShell() override;

    void watchPresses(bool on);
    // The presses heard since the previous call, and those sent before now.
    std::vector<Press> takePresses();
    Point pointer();
    bool ownWindowAt(Point p);
    // Whether each accelerator ("<Control>q") was had; an empty list lets
    // them all go.
    std::vector<bool> grab(const QStringList& accelerators);
    // Called with the index, in the last grab, of each accelerator pressed.
    void setHotKeyHandler(std::function<void(unsigned index)> handler);
    // Activates the input source that is a layout (xkb group) of the keymap
    // in use; false when none is.
    bool setLayoutGroup(std::uint32_t group);

private Q_SLOTS:
    void onPress(uint button, int x, int y, uint pid);
    void onHotKey(uint index);

private:
    GnomeShell();
    QDBusMessage call(const QString& method, const QVariantList& args = {});

    QDBusConnection m_bus;
    std::vector<Press> m_presses;
    std::function<void(unsigned)> m_hotKeyHandler;
};

// The recorder's view of the pointer through the extension.
class PointerGnome final : public Pointer {
public:
    PointerGnome(std::shared_ptr<GnomeShell> shell, WaylandSession& session);
    void startSampling() override;
    void stopSampling() override;
    std::vector<Press> takePresses() override;
    Point cursorPos() override;
    Rect primaryScreen() override;
    bool isOwnWindowAt(Point p) override;

private:
    std::shared_ptr<GnomeShell> m_shell;
    WaylandSession& m_session;
};

// The hot keys through the extension: all of the program's in one grab.
class HotKeysGnome final : public HotKeySet {
public:
    explicit HotKeysGnome(std::shared_ptr<GnomeShell> shell);
    ~HotKeysGnome() override;

private:
    QString chordName(unsigned keyCode, unsigned modifiers) const override;
    void bind() override;

    std::shared_ptr<GnomeShell> m_shell;
    std::vector<int> m_grabbed; // systemIds in the order of the last grab
};

// The input sources switched through the extension for typing.
class LayoutsGnome final : public LayoutSwitch {
public:
    explicit LayoutsGnome(std::shared_ptr<GnomeShell> shell) : m_shell(std::move(shell)) {}
    std::optional<std::uint32_t> active(std::uint32_t keyboardGroup) override;
    bool switchTo(std::uint32_t group, std::uint32_t user) override;
    void restore(std::uint32_t user) override;

private:
    std::shared_ptr<GnomeShell> m_shell;
};

// The accelerator as GNOME Shell names it ("<Control>q") for a Windows
// virtual-key code and Win32 modifiers; empty when the key has no name here.
QString shellAccelerator(unsigned keyCode, unsigned modifiers);

} // namespace pressmark::platform::wayland
