#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The capabilities a platform provides, one small interface each. A backend
// per platform implements them (x11/, win32/, fake/); the static dev, sf and
// net operations forward to the instance installed at start-up.
namespace pressmark::platform {

enum class MouseButton { Left, Right };

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

// One button press seen since the last sample, where it happened (root
// pixels) and whether it landed on one of the program's own windows, decided
// when the press happened.
struct Press {
    MouseButton button = MouseButton::Left;
    Point pos;
    bool ownWindow = false;
    friend bool operator==(const Press&, const Press&) = default;
};

struct TypeReport {
    int typed = 0;   // characters sent
    int skipped = 0; // characters that no key of this system can produce
};

// The pixel offset of a normalized coordinate over an extent of W pixels:
// round(n * W / 65535), the exact inverse of the recording rule. 65535 is odd,
// so n * W / 65535 never ends in an exact half and adding 32767 before a
// floor division rounds to nearest; floor (not truncation) keeps negative
// positions, left of or above the primary monitor, symmetric.
inline std::int64_t normalizedToPixel(std::int64_t n, std::int64_t extent) {
    const std::int64_t num = n * extent + 32767;
    std::int64_t q = num / 65535;
    if (num % 65535 != 0 && num < 0) {
        --q;
    }
    return q;
}

class Input {
public:
    virtual ~Input() = default;
    // An absolute move in the normalized space 0..65535 over the primary screen.
    virtual void moveTo(std::int32_t nx, std::int32_t ny) = 0;
    // A press or release at the current pointer position.
    virtual void button(MouseButton button, bool down) = 0;
    // Types the characters of a UTF-8 text as they are.
    virtual TypeReport typeText(std::string_view text) = 0;
};

class Pointer {
public:
    virtual ~Pointer() = default;
    // Presses are collected only between start and stop.
    virtual void startSampling() = 0;
    virtual void stopSampling() = 0;
    // Every press since the previous call, in order.
    virtual std::vector<Press> takePresses() = 0;
    virtual Point cursorPos() = 0;
    // The primary monitor in root coordinates.
    virtual Rect primaryScreen() = 0;
    virtual bool isOwnWindowAt(Point p) = 0;
    // While sampling, why presses may be lost (UTF-8, for the window to
    // say); nullptr when every press is collected.
    virtual const char* degradedReason() const { return nullptr; }
    // Why no press can be collected at all (UTF-8, for the window to say);
    // nullptr when recording works.
    virtual const char* cannotRecordReason() const { return nullptr; }
};

// Modifier set as on Win32: MOD_ALT 1, MOD_CONTROL 2, MOD_SHIFT 4, MOD_WIN 8.
enum Modifier : unsigned { ModAlt = 1, ModControl = 2, ModShift = 4, ModWin = 8 };

// A hot key to register: the combination (as for registerHotKey) and the id
// its presses are reported under.
struct HotKeyRequest {
    int systemId;
    unsigned keyCode;
    unsigned modifiers;
};

class HotKeys {
public:
    virtual ~HotKeys() = default;
    // (Re)registers the combination under systemId; false when it cannot be
    // had (another program holds it), with nothing left half-registered.
    // keyCode is a Windows virtual-key code (letters and digits: their ASCII).
    virtual bool registerHotKey(int systemId, unsigned keyCode, unsigned modifiers) = 0;
    // Several at once, for a system that takes them as one request (a
    // desktop portal may ask the user about them once, not once per key);
    // whether each was had, in their order.
    virtual std::vector<bool> registerHotKeys(const std::vector<HotKeyRequest>& chords) {
        std::vector<bool> had;
        for (const HotKeyRequest& c : chords) {
            had.push_back(registerHotKey(c.systemId, c.keyCode, c.modifiers));
        }
        return had;
    }
    virtual void unregisterHotKey(int systemId) = 0;
    // Called with the systemId of every hot-key press.
    virtual void setHandler(std::function<void(int systemId)> handler) = 0;
};

class System {
public:
    virtual ~System() = default;
    // Throws AppError "Failed to set data for '%s'" when it cannot write.
    virtual void setProxy(std::string_view proxy, bool enable) = 0;
    virtual void clearCache() = 0;
    virtual void runProgram(const std::filesystem::path& path) = 0;
    // The full path of the running executable, in the platform's own syntax.
    virtual std::string executablePath() = 0;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Texts are UTF-8. owner is a native window handle or null.
    virtual bool notice(std::string_view text, int kind, const void* owner) = 0;
    // nullopt when the dialog was cancelled or closed. An answer holds only
    // characters that code page 1251 can hold: it may be stored in a
    // scenario file, and the dialog refuses any other.
    virtual std::optional<std::string> askValue(std::string_view initial, std::string_view prompt,
                                                std::string_view caption) = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual std::chrono::nanoseconds now() = 0; // monotonic
    virtual void sleepFor(std::chrono::nanoseconds d) = 0;
    // Handles the events that are pending, without waiting for new ones.
    virtual void processEvents() = 0;
};

struct Backend {
    Input* input = nullptr;
    Pointer* pointer = nullptr;
    HotKeys* hotKeys = nullptr;
    System* system = nullptr;
    Dialogs* dialogs = nullptr;
    Clock* clock = nullptr;
};

// Installs the backend the static operations forward to; the objects must
// outlive every call. Called once by the program entry (and by tests).
void install(const Backend& backend);
const Backend& backend();

} // namespace pressmark::platform
