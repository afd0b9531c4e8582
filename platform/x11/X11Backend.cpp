#include <QGuiApplication>

#include "X11Backend.h"

#include "ClockQt.h"
#include "DialogsQt.h"
#include "HotKeysX11.h"
#include "InputX11.h"
#include "PointerX11.h"
#include "SystemX11.h"

#include <xcb/xcb.h>

#include <cstdlib>

namespace pressmark::platform::x11 {
namespace {

class InertInput final : public Input {
public:
    void moveTo(std::int32_t, std::int32_t) override {}
    void button(MouseButton, bool) override {}
    TypeReport typeText(std::string_view text) override {
        return TypeReport{0, static_cast<int>(text.size())};
    }
};

class InertPointer final : public Pointer {
public:
    void startSampling() override {}
    void stopSampling() override {}
    std::vector<Press> takePresses() override { return {}; }
    Point cursorPos() override { return {}; }
    Rect primaryScreen() override { return Rect{0, 0, 1, 1}; }
    bool isOwnWindowAt(Point) override { return false; }
};

class InertHotKeys final : public HotKeys {
public:
    bool registerHotKey(int, unsigned, unsigned) override { return false; }
    void unregisterHotKey(int) override {}
    void setHandler(std::function<void(int)>) override {}
};

QNativeInterface::QX11Application* x11App() {
    auto* app = qGuiApp;
    if (!app || QGuiApplication::platformName() != QLatin1String("xcb")) {
        return nullptr;
    }
    return app->nativeInterface<QNativeInterface::QX11Application>();
}

} // namespace

std::string x11ConnectProblem() {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        return "no X11 display: DISPLAY is not set";
    }
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const int error = xcb_connection_has_error(c);
    xcb_disconnect(c);
    if (error == 0) {
        return {};
    }
    const std::string why = error == XCB_CONN_CLOSED_PARSE_ERR
                                ? "is not a display name"
                                : "names no X server that accepts a connection (is it running?)";
    return "no X11 display: DISPLAY " + std::string(display) + " " + why;
}

bool x11Available() {
    auto* x = x11App();
    return x && x->display() && x->connection();
}

X11Backend::X11Backend() {
    if (auto* x = x11App(); x && x->display() && x->connection()) {
        m_onX11 = true;
        auto input = std::make_unique<InputX11>(x->display());
        auto pointer = std::make_unique<PointerX11>(x->display());
        // Text typed while recording goes to the last place the user clicked.
        input->followForeignPresses(pointer.get());
        m_input = std::move(input);
        m_pointer = std::move(pointer);
        m_hotKeys = std::make_unique<HotKeysX11>(x->display(), x->connection());
    } else {
        m_input = std::make_unique<InertInput>();
        m_pointer = std::make_unique<InertPointer>();
        m_hotKeys = std::make_unique<InertHotKeys>();
    }
    m_system = std::make_unique<SystemX11>();
    m_dialogs = std::make_unique<DialogsQt>();
    m_clock = std::make_unique<ClockQt>();
}

X11Backend::~X11Backend() {
    const Backend mine = backend();
    const Backend& current = platform::backend();
    if (current.input == mine.input && current.clock == mine.clock) {
        platform::install(Backend{});
    }
}

void X11Backend::install() {
    platform::install(backend());
}

Backend X11Backend::backend() const {
    return Backend{m_input.get(),  m_pointer.get(), m_hotKeys.get(),
                   m_system.get(), m_dialogs.get(), m_clock.get()};
}

std::unique_ptr<X11Backend> makeBackend() {
    return std::make_unique<X11Backend>();
}

} // namespace pressmark::platform::x11
