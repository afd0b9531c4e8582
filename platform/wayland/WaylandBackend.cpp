#include "WaylandBackend.h"

#include "Desktop.h"
#include "GnomeShell.h"
#include "HotKeysPortal.h"
#include "InputWayland.h"
#include "KdeServices.h"
#include "MutterRemote.h"
#include "PointerWayland.h"
#include "SwayDesktop.h"
#include "WaylandSession.h"

#include "platform/qt/ClockQt.h"
#include "platform/qt/DialogsQt.h"
#include "platform/qt/SystemLinux.h"

namespace pressmark::platform::wayland {
namespace {

class NoHotKeys final : public HotKeys {
public:
    bool registerHotKey(int, unsigned, unsigned) override { return false; }
    void unregisterHotKey(int) override {}
    void setHandler(std::function<void(int)>) override {}
};

} // namespace

std::unique_ptr<WaylandBackend> WaylandBackend::make(std::string& why) {
    auto session = WaylandSession::connect(why);
    if (!session) {
        return nullptr;
    }
    std::unique_ptr<WaylandBackend> b(new WaylandBackend);
    b->m_session = std::move(session);
    // GNOME has no protocol for input: its remote-desktop service instead,
    // and for the rest Pressmark's Shell extension, where the user has it.
    const auto& g = b->m_session->globals();
    std::unique_ptr<MutterRemote> gnome;
    std::shared_ptr<GnomeShell> shell;
    if (!(g.pointerManager && g.keyboardManager) && !g.fakeInput) {
        gnome = MutterRemote::start(why);
        if (!gnome) {
            return nullptr;
        }
        shell = GnomeShell::connect();
    }
    // The user may have the hot keys taken through the desktop's portal
    // even where the compositor has a service of its own for them.
    const bool portalAsked = qgetenv("PRESSMARK_HOTKEYS") == "portal";
    std::unique_ptr<HotKeys> hotKeys;
    if (auto sway = makeSwayServices()) {
        b->m_desktop = std::move(sway->desktop);
        hotKeys = std::move(sway->hotKeys);
    } else if (kde::kwinRunning()) {
        // KWin: its windows through its scripts, the hot keys through KDE's
        // global shortcut service.
        kde::restoreLayout(); // a run killed while typing left it switched
        b->m_desktop = makeKwinDesktop();
        b->m_layouts = std::make_unique<kde::Layouts>();
        hotKeys = HotKeysKde::create();
    } else if (shell) {
        b->m_layouts = std::make_unique<LayoutsGnome>(shell);
        hotKeys = std::make_unique<HotKeysGnome>(shell);
    }
    if (portalAsked || !hotKeys) {
        hotKeys = HotKeysPortal::create(); // GNOME 48 and later have it
    }
    const std::string noShell = gnome && !shell ? GnomeShell::missingReason(!hotKeys) : "";
    if (!noShell.empty()) {
        b->m_limits = noShell; // it says what recording and the hot keys need
    } else if (!hotKeys) {
        b->m_limits = "Горячие клавиши недоступны: этот композитор не даёт их программам.";
    }
    auto input = std::make_unique<InputWayland>(*b->m_session, b->m_desktop.get(), std::move(gnome),
                                                b->m_layouts.get());
    std::unique_ptr<Pointer> pointer;
    if (shell) {
        pointer = std::make_unique<PointerGnome>(shell, *b->m_session);
    } else {
        auto overlay = std::make_unique<PointerWayland>(*b->m_session, *input, b->m_desktop.get());
        overlay->explainCannotRecord(noShell);
        pointer = std::move(overlay);
    }
    b->m_input = std::move(input);
    b->m_pointer = std::move(pointer);
    b->m_hotKeys = hotKeys ? std::move(hotKeys) : std::make_unique<NoHotKeys>();
    b->m_system = std::make_unique<qt::SystemLinux>();
    b->m_dialogs = std::make_unique<qt::DialogsQt>();
    b->m_clock = std::make_unique<qt::ClockQt>();
    return b;
}

WaylandBackend::~WaylandBackend() {
    const Backend mine = backend();
    const Backend& current = platform::backend();
    if (current.input == mine.input && current.clock == mine.clock) {
        platform::install(Backend{});
    }
    // The devices and the overlay go before the connection that carries them.
    m_hotKeys.reset();
    m_pointer.reset();
    m_input.reset();
    m_layouts.reset();
    m_desktop.reset();
    m_session.reset();
}

void WaylandBackend::install() {
    platform::install(backend());
}

Backend WaylandBackend::backend() const {
    return Backend{m_input.get(),  m_pointer.get(), m_hotKeys.get(),
                   m_system.get(), m_dialogs.get(), m_clock.get()};
}

void WaylandBackend::setDialogOwner(const void* owner) {
    m_dialogs->setDefaultOwner(owner);
}

} // namespace pressmark::platform::wayland
