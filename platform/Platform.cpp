#include "Platform.h"

#include "base/Utf8.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace pressmark {
namespace platform {
namespace {
Backend g_backend;
}

void install(const Backend& b) {
    g_backend = b;
}

const Backend& backend() {
    return g_backend;
}

} // namespace platform

namespace {

using namespace std::chrono_literals;
using platform::backend;

template <typename T> T& need(T* capability, const char* name) {
    if (!capability) {
        throw std::logic_error(std::string("no platform backend installed for ") + name);
    }
    return *capability;
}

platform::Input& input() {
    return need(backend().input, "input");
}
platform::Clock& clock() {
    return need(backend().clock, "clock");
}

std::int32_t scaleAxis(int pixel, int origin, int extent) {
    if (extent <= 0) {
        extent = 1;
    }
    const long double quotient = 65535.0L / extent;
    const long double scaled =
        std::nearbyint(quotient * (static_cast<long double>(pixel) - origin));
    constexpr long double lo = std::numeric_limits<std::int32_t>::min();
    constexpr long double hi = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::clamp(scaled, lo, hi));
}

void click(platform::MouseButton button) {
    input().button(button, true);
    input().button(button, false);
}

} // namespace

void dev::ScaleToAbsolute(platform::Point& position) {
    const platform::Rect screen = need(backend().pointer, "pointer").primaryScreen();
    position.x = scaleAxis(position.x, screen.x, screen.width);
    position.y = scaleAxis(position.y, screen.y, screen.height);
}

void dev::MoveTo(std::int32_t x, std::int32_t y) {
    input().moveTo(x, y);
}

void dev::LeftClick() {
    click(platform::MouseButton::Left);
}

void dev::RightClick() {
    click(platform::MouseButton::Right);
}

platform::TypeReport dev::TypeText(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    return input().typeText(text);
}

void sf::Delay(std::int32_t ms) {
    Delay(ms, {});
}

bool sf::Delay(std::int32_t ms, const std::function<bool()>& stop) {
    if (ms <= 0) {
        return false;
    }
    platform::Clock& c = clock();
    const bool handleEvents = ms >= 50;
    const auto deadline = c.now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left = deadline - c.now();
        if (left <= 0ns) {
            return false;
        }
        c.sleepFor(std::min<std::chrono::nanoseconds>(left, 50ms));
        if (handleEvents) {
            c.processEvents();
            if (stop && stop()) {
                return true;
            }
        }
    }
}

std::string appDirFromExecutable(std::string_view exePath, bool windowsSyntax) {
    if (windowsSyntax) {
        const auto cut = exePath.find_last_of("\\:");
        std::string dir(exePath.substr(0, cut == std::string_view::npos ? 0 : cut + 1));
        // Drop the delimiter unless it follows the drive colon: "C:\p.exe"
        // keeps "C:\" and so ends in two backslashes once one is appended.
        if (!dir.empty() && dir.back() == '\\' &&
            !(dir.size() >= 2 && dir[dir.size() - 2] == ':')) {
            dir.pop_back();
        }
        return dir + '\\';
    }
    const auto cut = exePath.find_last_of('/');
    if (cut == std::string_view::npos) {
        return "./";
    }
    return std::string(exePath.substr(0, cut)) + '/';
}

std::string sf::AppDir() {
#ifdef _WIN32
    constexpr bool windowsSyntax = true;
#else
    constexpr bool windowsSyntax = false;
#endif
    return appDirFromExecutable(need(backend().system, "system").executablePath(), windowsSyntax);
}

void sf::RunProgram(const std::filesystem::path& path) {
    need(backend().system, "system").runProgram(path);
}

bool sf::SetHotKey(int id, char key, unsigned modifiers) {
    return SetHotKeys({{id, key, modifiers}}).front();
}

std::vector<bool> sf::SetHotKeys(const std::vector<HotKey>& keys) {
    platform::HotKeys& hotKeys = need(backend().hotKeys, "hot keys");
    std::vector<platform::HotKeyRequest> chords;
    for (const HotKey& k : keys) {
        const unsigned code = k.key >= 'a' && k.key <= 'z' ? static_cast<unsigned>(k.key - 32)
                                                           : static_cast<unsigned char>(k.key);
        hotKeys.unregisterHotKey(k.id + HotKeyIdBase);
        chords.push_back({k.id + HotKeyIdBase, code, k.modifiers});
    }
    return hotKeys.registerHotKeys(chords);
}

void sf::SetHotKeyHandler(std::function<void(int systemId)> handler) {
    if (platform::HotKeys* keys = backend().hotKeys) {
        keys->setHandler(std::move(handler));
    }
}

std::chrono::nanoseconds sf::Now() {
    return need(backend().clock, "clock").now();
}

void sf::ProcessEvents() {
    need(backend().clock, "clock").processEvents();
}

void dev::StartSampling() {
    need(backend().pointer, "pointer").startSampling();
}

void dev::StopSampling() {
    need(backend().pointer, "pointer").stopSampling();
}

std::vector<platform::Press> dev::TakePresses() {
    return need(backend().pointer, "pointer").takePresses();
}

std::string dev::SamplingProblem() {
    const char* why = need(backend().pointer, "pointer").degradedReason();
    return why ? why : "";
}

std::string dev::RecordingProblem() {
    const char* why = need(backend().pointer, "pointer").cannotRecordReason();
    return why ? why : "";
}

std::string sf::StripLineBreaks(std::string_view text) {
    return ReplaceAll(ReplaceAll(text, "\n", ""), "\r", "");
}

std::string sf::ReplaceAll(std::string_view text, std::string_view pattern,
                           std::string_view replacement) {
    if (pattern.empty()) {
        return std::string(text);
    }
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    for (auto at = text.find(pattern); at != std::string_view::npos;
         at = text.find(pattern, from)) {
        out.append(text.substr(from, at - from));
        out.append(replacement);
        from = at + pattern.size();
    }
    out.append(text.substr(from));
    return out;
}

void net::SetProxy(std::string_view proxy, bool enable) {
    need(backend().system, "system").setProxy(proxy, enable);
}

void net::ClearCache() {
    need(backend().system, "system").clearCache();
}

bool Notice(std::string_view text, int kind, const void* owner) {
    if (kind < 0 || kind > 3) {
        return false;
    }
    const bool yes = need(backend().dialogs, "dialogs").notice(text, kind, owner);
    return kind == 3 && yes;
}

std::optional<std::string> AskValueOrCancel(std::string_view initial, std::string_view prompt,
                                            std::string_view caption) {
    return need(backend().dialogs, "dialogs").askValue(initial, prompt, caption);
}

std::string AskValue(std::string_view initial, std::string_view prompt, std::string_view caption) {
    auto answer = AskValueOrCancel(initial, prompt, caption);
    return answer ? *answer : std::string(initial);
}

} // namespace pressmark
