#include <QGuiApplication>

#include "X11Backend.h"

#include "platform/qt/ClockQt.h"
#include "platform/qt/DialogsQt.h"
#include "platform/qt/SystemLinux.h"

#include "HotKeysX11.h"
#include "InputX11.h"
#include "PointerX11.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdint>
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

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// The normalized positions whose pixel (origin + n * extent / 65535, rounded
// as the move rounds it) fits the 16 bits the protocol carries a position in.
std::int32_t holdToProtocol(std::int32_t n, std::int32_t origin, std::int32_t extent) {
    if ((n >= 0 && n <= 65535) || extent <= 0) {
        return n; // on the primary monitor: always a pixel of the screen
    }
    // pixel = floor((n * extent + 32767) / 65535) must lie in lo..hi.
    const std::int64_t lo = -32768 - std::int64_t{origin};
    const std::int64_t hi = 32767 - std::int64_t{origin};
    const std::int64_t nMin = -floorDiv(-(lo * 65535 - 32767), extent);
    const std::int64_t nMax = floorDiv((hi + 1) * 65535 - 32768, extent);
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(n, nMin, nMax));
}

// XTest carries a position in 16 bits, so a pixel beyond them wraps round: a
// hand-edited x of 99999999 landed in the middle of the screen. The position
// is held to what the protocol can name, and the server then keeps the
// pointer at the edge of the screen, as it does for any pixel past it.
class ProtocolRangeInput final : public Input {
public:
    ProtocolRangeInput(std::unique_ptr<Input> inner, Pointer& pointer)
        : m_inner(std::move(inner)), m_pointer(pointer) {}
    void moveTo(std::int32_t nx, std::int32_t ny) override {
        if (nx < 0 || nx > 65535 || ny < 0 || ny > 65535) {
            const Rect primary = m_pointer.primaryScreen();
            nx = holdToProtocol(nx, primary.x, primary.width);
            ny = holdToProtocol(ny, primary.y, primary.height);
        }
        m_inner->moveTo(nx, ny);
    }
    void button(MouseButton b, bool down) override { m_inner->button(b, down); }
    TypeReport typeText(std::string_view text) override { return m_inner->typeText(text); }

private:
    std::unique_ptr<Input> m_inner;
    Pointer& m_pointer;
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
        m_input = std::make_unique<ProtocolRangeInput>(std::move(input), *pointer);
        m_pointer = std::move(pointer);
        m_hotKeys = std::make_unique<HotKeysX11>(x->display(), x->connection());
    } else {
        m_input = std::make_unique<InertInput>();
        m_pointer = std::make_unique<InertPointer>();
        m_hotKeys = std::make_unique<InertHotKeys>();
    }
    m_system = std::make_unique<qt::SystemLinux>();
    m_dialogs = std::make_unique<qt::DialogsQt>();
    m_clock = std::make_unique<qt::ClockQt>();
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

void X11Backend::setDialogOwner(const void* owner) {
    m_dialogs->setDefaultOwner(owner);
}

Backend X11Backend::backend() const {
    return Backend{m_input.get(),  m_pointer.get(), m_hotKeys.get(),
                   m_system.get(), m_dialogs.get(), m_clock.get()};
}

std::unique_ptr<X11Backend> makeBackend() {
    return std::make_unique<X11Backend>();
}

} // namespace pressmark::platform::x11
