#include "FakePlatform.h"

#include "base/AppError.h"
#include "base/Utf8.h"

namespace pressmark::platform {

using namespace std::chrono_literals;

FakePlatform::FakePlatform() = default;

FakePlatform::~FakePlatform() {
    // Never leave the static operations pointing at a destroyed object.
    if (backend().input == this) {
        platform::install(Backend{});
    }
}

void FakePlatform::install() {
    platform::install(Backend{this, this, this, this, this, this});
}

std::vector<std::string> FakePlatform::actions() const {
    std::vector<std::string> out;
    std::int64_t pendingMs = -1;
    auto flush = [&] {
        if (pendingMs >= 0) {
            out.push_back("wait(" + std::to_string(pendingMs) + ")");
            pendingMs = -1;
        }
    };
    for (const auto& e : m_transcript) {
        if (e.rfind("sleep(", 0) == 0) {
            pendingMs = (pendingMs < 0 ? 0 : pendingMs) + std::stoll(e.substr(6));
        } else if (e == "pump") {
            continue;
        } else {
            flush();
            out.push_back(e);
        }
    }
    flush();
    return out;
}

std::string FakePlatform::actionLine() const {
    std::string line;
    for (const auto& a : actions()) {
        if (!line.empty()) {
            line += ' ';
        }
        line += a;
    }
    return line;
}

std::int64_t FakePlatform::nowMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(m_now).count();
}

void FakePlatform::at(std::int64_t ms, std::function<void()> fn) {
    m_timed.emplace(ms, std::move(fn));
}

void FakePlatform::press(MouseButton b, Point p, bool ownWindow) {
    if (m_sampling) {
        m_presses.push_back(Press{b, p, ownWindow});
    }
    m_cursor = p;
}

void FakePlatform::fireHotKey(int systemId) {
    if (m_hotKeys.count(systemId) && m_hotKeyHandler) {
        m_hotKeyHandler(systemId);
    }
}

void FakePlatform::moveTo(std::int32_t nx, std::int32_t ny) {
    m_transcript.push_back("move(" + std::to_string(nx) + "," + std::to_string(ny) + ")");
}

void FakePlatform::button(MouseButton button, bool down) {
    m_transcript.push_back(std::string(down ? "down(" : "up(") +
                           (button == MouseButton::Left ? "L" : "R") + ")");
}

TypeReport FakePlatform::typeText(std::string_view text) {
    m_transcript.push_back("type(" + std::string(text) + ")");
    const int chars = static_cast<int>(utf8::decode(text).size());
    return TypeReport{chars - m_skipped, m_skipped};
}

void FakePlatform::startSampling() {
    m_sampling = true;
    m_presses.clear();
}

void FakePlatform::stopSampling() {
    m_sampling = false;
    m_presses.clear();
}

std::vector<Press> FakePlatform::takePresses() {
    std::vector<Press> out;
    out.swap(m_presses);
    return out;
}

bool FakePlatform::registerHotKey(int systemId, unsigned keyCode, unsigned modifiers) {
    m_transcript.push_back("hotkey(" + std::to_string(systemId) + "," +
                           std::string(1, static_cast<char>(keyCode)) + "," +
                           std::to_string(modifiers) + ")");
    if (m_refused.count(systemId)) {
        return false;
    }
    m_hotKeys[systemId] = {keyCode, modifiers};
    return true;
}

void FakePlatform::unregisterHotKey(int systemId) {
    m_transcript.push_back("unhotkey(" + std::to_string(systemId) + ")");
    m_hotKeys.erase(systemId);
}

void FakePlatform::setProxy(std::string_view proxy, bool enable) {
    m_transcript.push_back("proxy(" + std::string(proxy) + "," + (enable ? "1" : "0") + ")");
    if (m_proxyFailure) {
        throw proxyDataError(*m_proxyFailure);
    }
}

void FakePlatform::clearCache() {
    m_transcript.push_back("clearCache");
}

void FakePlatform::runProgram(const std::filesystem::path& path) {
    m_transcript.push_back("run(" + path.string() + ")");
}

bool FakePlatform::notice(std::string_view text, int kind, const void* /*owner*/) {
    m_transcript.push_back("notice(" + std::to_string(kind) + "," + std::string(text) + ")");
    m_shown.push_back(Shown{Shown::What::Notice, kind, std::string(text), {}, {}});
    if (m_onDialog) {
        m_onDialog();
    }
    if (m_noticeAnswers.empty()) {
        return false;
    }
    const bool yes = m_noticeAnswers.front();
    m_noticeAnswers.pop_front();
    return yes;
}

std::optional<std::string> FakePlatform::askValue(std::string_view initial, std::string_view prompt,
                                                  std::string_view caption) {
    m_transcript.push_back("ask(" + std::string(caption) + "|" + std::string(prompt) + "|" +
                           std::string(initial) + ")");
    m_shown.push_back(Shown{Shown::What::Ask, 0, std::string(prompt), std::string(caption),
                            std::string(initial)});
    if (m_onDialog) {
        m_onDialog();
    }
    if (m_askAnswers.empty()) {
        return std::nullopt;
    }
    auto answer = std::move(m_askAnswers.front());
    m_askAnswers.pop_front();
    return answer;
}

void FakePlatform::sleepFor(std::chrono::nanoseconds d) {
    if (d <= 0ns) {
        return;
    }
    m_now += d;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
    m_transcript.push_back("sleep(" + std::to_string(ms) + ")");
}

void FakePlatform::processEvents() {
    m_transcript.push_back("pump");
    // Due actions run in time order; one may schedule another.
    for (auto it = m_timed.begin(); it != m_timed.end() && it->first <= nowMs();
         it = m_timed.begin()) {
        auto fn = std::move(it->second);
        m_timed.erase(it);
        fn();
    }
    if (m_onPump) {
        m_onPump();
    }
}

} // namespace pressmark::platform
