#include "ScenarioFormat.h"

#include "base/Cp1251.h"

#include <algorithm>
#include <limits>
#include <system_error>

namespace pressmark::scenario {
namespace {

constexpr std::string_view kSettings = "sett";

} // namespace

int stepNumber(std::string_view section) {
    if (section.empty() || section.size() > 4 || section.front() == '0') {
        return 0;
    }
    int n = 0;
    for (char c : section) {
        if (c < '0' || c > '9') {
            return 0;
        }
        n = n * 10 + (c - '0');
    }
    return n;
}

std::string stepSection(int number) {
    return std::to_string(number);
}

bool isNumberedSection(std::string_view section) {
    return !section.empty() &&
           std::all_of(section.begin(), section.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::int32_t speedOfDelay(std::int32_t delay) {
    const auto speed = static_cast<std::int32_t>(std::clamp<std::int64_t>(
        kMaxSpeed - std::int64_t{delay}, std::numeric_limits<std::int32_t>::min(),
        std::numeric_limits<std::int32_t>::max()));
    return speed == 0 ? kMaxSpeed - kDefaultDelay : speed;
}

Settings ScenarioFile::settings() const {
    Settings s;
    s.speed = speedOfDelay(baseDelay());
    s.repeat = repeatCount();
    if (s.repeat == 0) {
        s.repeat = 1;
    }
    s.description = description();
    return s;
}

std::optional<Settings> loadSettings(const std::filesystem::path& file) {
    std::error_code ec;
    if (file.empty() || !std::filesystem::exists(file, ec)) {
        return std::nullopt;
    }
    ProfileStore store(file);
    return ScenarioFile(store).settings();
}

std::int32_t ScenarioFile::baseDelay() const {
    return m_store.readInteger(kSettings, "sleep", 0);
}

std::int32_t ScenarioFile::repeatCount() const {
    return m_store.readInteger(kSettings, "repeat", 1);
}

std::string ScenarioFile::description() const {
    return cp1251::toUtf8(m_store.readString(kSettings, "Comments", ""));
}

void ScenarioFile::writeBaseDelay(std::int32_t ms) {
    m_store.writeInteger(kSettings, "sleep", ms);
}

void ScenarioFile::writeRepeatCount(std::int32_t count) {
    m_store.writeInteger(kSettings, "repeat", count);
}

void ScenarioFile::writeDescription(std::string_view text) {
    m_store.writeString(kSettings, "Comments", cp1251::fromUtf8Lossy(text));
}

Click ScenarioFile::readClick(std::string_view section) const {
    Click c;
    c.x = m_store.readInteger(section, "x", 0);
    c.y = m_store.readInteger(section, "y", 0);
    c.left = m_store.readInteger(section, "key", 0) == 1;
    c.pause = m_store.readInteger(section, "sleep", 0);
    c.text = cp1251::toUtf8(m_store.readString(section, "text", ""));
    return c;
}

AfterClick ScenarioFile::readAfterClick(std::string_view section) const {
    AfterClick a;
    a.proxy = cp1251::toUtf8(m_store.readString(section, "setproxy", ""));
    a.purge = m_store.readBool(section, "ccookies", false);
    return a;
}

std::int32_t ScenarioFile::readPause(std::string_view section) const {
    return m_store.readInteger(section, "sleep", 0);
}

void ScenarioFile::writeClick(int step, std::int32_t x, std::int32_t y, bool left) {
    const std::string xs = std::to_string(x);
    const std::string ys = std::to_string(y);
    m_store.writeStrings(stepSection(step), {{"x", xs}, {"y", ys}, {"key", left ? "1" : "2"}});
}

void ScenarioFile::writePause(int step, std::int32_t ms) {
    m_store.writeInteger(stepSection(step), "sleep", ms);
}

void ScenarioFile::writeText(int step, std::string_view text) {
    m_store.writeString(stepSection(step), "text", cp1251::fromUtf8Lossy(text));
}

void ScenarioFile::writeProxy(int step, std::string_view proxy) {
    m_store.writeString(stepSection(step), "setproxy", cp1251::fromUtf8Lossy(proxy));
}

void ScenarioFile::writePurge(int step) {
    m_store.writeBool(stepSection(step), "ccookies", true);
}

void ScenarioFile::removeSteps() {
    m_store.removeSections(isNumberedSection);
}

} // namespace pressmark::scenario
