#include "clickerPlay.h"

#include "platform/Platform.h"
#include "scenario/ScenarioFolder.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <system_error>

namespace pressmark {
namespace {

// Lock-free, so that a signal handler (Ctrl+C of the command line) may set it.
std::atomic<bool> g_stop{false};

std::int32_t clampToInt32(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

} // namespace

void requestStop() {
    g_stop.store(true);
}

bool stopRequested() {
    return g_stop.load();
}

clickerPlay::clickerPlay(WindowControls& window, bool loadSettings)
    : clicker(window.selectedScenarioPath()), m_window(window) {
    if (m_path.empty()) {
        Notice("Ошибка.Не выбран файл сценария!", NoticeError);
    }
    m_window.setPagesEnabled(false);
    try {
        if (loadSettings && m_fileExisted) {
            const scenario::ScenarioFile format(*m_file);
            // 64 bits: a hand-edited sleep near the 32-bit limits must not
            // overflow; the result is kept as the stored value allows.
            m_speed = clampToInt32(10000 - std::int64_t{format.baseDelay()});
            if (m_speed == 0) {
                m_speed = 9700;
            }
            m_window.setSpeed(m_speed);
            std::int32_t repeat = format.repeatCount();
            if (repeat == 0) {
                repeat = 1;
            }
            m_window.setRepeat(repeat);
            m_window.setDescription(format.description());
        }
        m_repeat = m_window.repeat();
    } catch (...) {
        m_window.setPagesEnabled(true);
        throw;
    }
}

clickerPlay::~clickerPlay() {
    m_window.setPagesEnabled(true);
}

bool clickerPlay::wait(std::int64_t ms) {
    using namespace std::chrono_literals;
    if (ms <= 0) {
        return false;
    }
    // Every sleep ends a little after its deadline (about 0.1 ms on Linux);
    // over a thousand short waits that adds up to a visible drift. A wait
    // repays what the earlier ones overran, never more than a few
    // milliseconds at once, and never more than it lasts, so that a single
    // stall of the system is not made up by clicking faster.
    constexpr auto maxRepay = 2ms;
    constexpr auto maxDebt = 10ms;
    const auto repay =
        std::min({std::chrono::floor<std::chrono::milliseconds>(m_late),
                  std::chrono::milliseconds(ms), std::chrono::milliseconds(maxRepay)});
    m_late -= repay;
    const std::int32_t asked = clampToInt32(ms - repay.count());
    const auto start = sf::Now();
    const bool stopped = sf::Delay(asked, stopRequested);
    m_late += sf::Now() - start - std::chrono::milliseconds(asked);
    m_late = std::clamp<std::chrono::nanoseconds>(m_late, 0ns, maxDebt);
    return stopped;
}

bool clickerPlay::playPreface() {
    const scenario::ScenarioFile format(*m_file);
    afterClick(format.readAfterClick(scenario::kPreface));
    return wait(format.readPause(scenario::kPreface));
}

void clickerPlay::playStep(const std::string& section) {
    const scenario::ScenarioFile format(*m_file);
    scenario::Click click = format.readClick(section);
    m_x = click.x;
    m_y = click.y;
    m_left = click.left;
    m_pause = click.pause;
    m_text = std::move(click.text);
    dev::MoveTo(m_x, m_y, false);
    if (m_left) {
        dev::LeftClick(0);
    } else {
        dev::RightClick(0);
    }
    if (!m_text.empty()) {
        dev::TypeText(m_text);
    }
    afterClick(format.readAfterClick(section));
}

void clickerPlay::afterClick(const scenario::AfterClick& actions) {
    if (!actions.proxy.empty()) {
        net::SetProxy(actions.proxy, true);
    }
    if (actions.purge) {
        net::ClearCache();
    }
}

clickerPlay::Stamp clickerPlay::stamp() const {
    std::error_code ec;
    Stamp st;
    if (!std::filesystem::is_regular_file(m_path, ec)) {
        return st;
    }
    st.present = true;
    st.size = std::filesystem::file_size(m_path, ec);
    st.time = std::filesystem::last_write_time(m_path, ec);
    return st;
}

void clickerPlay::readSteps() {
    m_file->readSections(m_sections);
    m_steps.clear();
    m_preface = false;
    for (const std::string& name : m_sections) {
        if (const int n = scenario::stepNumber(name)) {
            m_steps.push_back(n);
        } else if (name == scenario::kPreface) {
            m_preface = true;
        }
    }
    std::sort(m_steps.begin(), m_steps.end());
    m_steps.erase(std::unique(m_steps.begin(), m_steps.end()), m_steps.end());
    m_stepsBound = static_cast<std::int32_t>(m_steps.size());
}

bool clickerPlay::fileGone() {
    // Another program may delete or rewrite the file while it plays: the
    // steps are read again whenever the file changed, so that a step that no
    // longer exists is not clicked at the defaults' top-left corner.
    const Stamp now = stamp();
    if (!now.present) {
        Notice("Сценарий не найден!", NoticeError);
        return true;
    }
    // The store reads a file over its limit as empty: say so rather than
    // play nothing as if it were done.
    if (now.size > ProfileStore::kFileLimit) {
        Notice("Файл сценария слишком большой!", NoticeError);
        return true;
    }
    if (now != m_stamp) {
        m_stamp = now;
        readSteps();
    }
    return false;
}

clickerPlay::Outcome clickerPlay::run() {
    if (!m_fileExisted) {
        Notice("Сценарий не найден!", NoticeError);
        return Outcome::NotFound;
    }
    // The store reads an unreadable file as empty: say so rather than play
    // nothing as if it were done.
    if (!std::ifstream(m_path, std::ios::binary).is_open()) {
        Notice("Не удалось прочитать сценарий!", NoticeError);
        return Outcome::NotFound;
    }
    if (fileGone()) {
        return Outcome::NotFound;
    }

    g_stop.store(false);
    m_late = {};
    const std::int64_t baseDelay = 10000 - std::int64_t{m_speed};
    for (std::int32_t rep = 1; rep <= m_repeat; ++rep) {
        if (fileGone()) {
            return Outcome::NotFound;
        }
        if (m_preface) {
            if (stopRequested() || playPreface()) {
                return Outcome::Stopped;
            }
        }
        for (int last = 0;;) {
            if (stopRequested()) {
                return Outcome::Stopped;
            }
            if (fileGone()) {
                return Outcome::NotFound;
            }
            const auto next = std::upper_bound(m_steps.begin(), m_steps.end(), last);
            if (next == m_steps.end()) {
                break;
            }
            last = *next;
            if (m_onProgress) {
                m_onProgress(Progress{static_cast<int>(next - m_steps.begin() + 1),
                                      static_cast<int>(m_steps.size()), rep, m_repeat});
            }
            playStep(std::to_string(last));
            sf::ProcessEvents();
            if (stopRequested() || wait(baseDelay + m_pause)) {
                return Outcome::Stopped;
            }
        }
    }
    return Outcome::Finished;
}

void clickerPlay::deleteScenario() {
    if (m_path.empty()) {
        Notice("Выберите сценарий, который хотите удалить!", NoticeError);
        return;
    }
    const std::string name = displayFileName(m_path.filename());
    if (!Notice("Вы уверенны что хотите удалить сценарий " + name + "?", NoticeConfirm)) {
        return;
    }
    std::error_code ec;
    removeScenarioFile(m_path, ec);
    if (ec) {
        Notice("Не удалось удалить сценарий " + name + "!", NoticeError);
        return;
    }
    m_window.removeSelectedScenario();
}

} // namespace pressmark
