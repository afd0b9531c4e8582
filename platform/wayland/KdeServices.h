#pragma once

#include "Desktop.h"
#include "platform/Backend.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace pressmark::platform::wayland {

// What KDE Plasma gives over the session bus.
namespace kde {

// KWin's active keyboard layout, counted as in the user's keymap; nullopt
// when the user has a single layout (KWin then offers no switching).
std::optional<std::uint32_t> activeLayout();
// Makes a layout the active one; KWin has switched when this returns.
bool setLayout(std::uint32_t layout);
// Whether KWin answers on the session bus: the session is KDE's.
bool kwinRunning();
// The user's layout, kept on the disk while typing has another one active: a
// run killed meanwhile leaves it there, and the next start (restoreLayout)
// gives the user the layout back.
void rememberUserLayout(std::uint32_t layout);
void forgetUserLayout();
void restoreLayout();

// KWin's layouts switched for typing, the user's kept on the disk meanwhile.
class Layouts final : public LayoutSwitch {
public:
    std::optional<std::uint32_t> active(std::uint32_t keyboardGroup) override;
    bool switchTo(std::uint32_t group, std::uint32_t user) override;
    void restore(std::uint32_t user) override;
};

} // namespace kde

// Global hot keys through KDE's global shortcut service: each hot key is an
// action of the component "pressmark" with its chord; a chord another
// component holds is refused by the service, and so here. The presses come
// as the component's signal, on the thread this object lives on. The actions
// go when this object does, and those a killed run left when the next one
// starts.
class HotKeysKde final : public QObject, public HotKeys {
    Q_OBJECT
public:
    // Null when no global shortcut service answers.
    static std::unique_ptr<HotKeysKde> create();
    ~HotKeysKde() override;

    bool registerHotKey(int systemId, unsigned keyCode, unsigned modifiers) override;
    void unregisterHotKey(int systemId) override;
    void setHandler(std::function<void(int systemId)> handler) override;

private Q_SLOTS:
    void onPressed(const QString& component, const QString& action, qlonglong timestamp);

private:
    HotKeysKde() = default;
    void removeAction(const QString& action);

    std::map<int, QString> m_actions; // systemId -> action
    std::function<void(int)> m_handler;
};

// KWin's windows, as scripts KWin runs for the program tell them (KWin has
// no other interface for them): which window shows at a point and whether it
// is this program's, and bringing the window that gets the text forward.
// Null when KWin does not answer on the session bus.
std::unique_ptr<Desktop> makeKwinDesktop();

// The chord as KDE's global shortcut service counts it (a Qt key with its
// modifiers) for a Windows virtual-key code and Win32 modifiers; 0 when the
// key has no Qt name here.
int kdeChord(unsigned keyCode, unsigned modifiers);

} // namespace pressmark::platform::wayland
