#include "clickerPlay.h"

#include "platform/Platform.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <limits>

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

clickerPlay::clickerPlay(std::filesystem::path file, std::int32_t speed, std::int32_t repeat,
                         RunEvents& events)
    : clicker(std::move(file)), m_events(events), m_speed(speed), m_repeat(repeat) {}

bool clickerPlay::wait(std::int64_t ms) {
    using namespace std::chrono_literals;
    if (ms <= 0) {
        return false;
    }
    // Every sleep ends a little after its deadline (about 0.1 ms on Linux),
    // and the step before a wait takes its time too; over a thousand short
    // waits that adds up to a visible drift. A wait repays what the earlier
    // ones and the steps between them overran, never more than a few
    // milliseconds at once, and never more than it lasts, so that a single
    // stall of the system is not made up by clicking faster.
    constexpr auto maxRepay = 2ms;
    constexpr auto maxDebt = 10ms;
    const auto start = sf::Now();
    if (m_waitEnded) {
        m_late = std::min<std::chrono::nanoseconds>(m_late + (start - *m_waitEnded), maxDebt);
    }
    const auto repay =
        std::min({std::chrono::floor<std::chrono::milliseconds>(m_late),
                  std::chrono::milliseconds(ms), std::chrono::milliseconds(maxRepay)});
    m_late -= repay;
    const std::int32_t asked = clampToInt32(ms - repay.count());
    const bool stopped = sf::Delay(asked, stopRequested);
    const auto ended = sf::Now();
    m_waitEnded = ended;
    m_late += ended - start - std::chrono::milliseconds(asked);
    m_late = std::clamp<std::chrono::nanoseconds>(m_late, 0ns, maxDebt);
    return stopped;
}

bool clickerPlay::playPreface() {
    const scenario::ScenarioFile format(*m_file);
    afterClick(format.readAfterClick(scenario::kPreface));
    return wait(format.readPause(scenario::kPreface));
}

std::int32_t clickerPlay::playStep(const std::string& section) {
    const scenario::ScenarioFile format(*m_file);
    const scenario::Click click = format.readClick(section);
    dev::MoveTo(click.x, click.y);
    if (click.left) {
        dev::LeftClick();
    } else {
        dev::RightClick();
    }
    if (!click.text.empty()) {
        if (const auto typed = dev::TypeText(click.text); typed.skipped > 0) {
            m_events.textNotTyped(typed.skipped);
        }
    }
    afterClick(format.readAfterClick(section));
    return click.pause;
}

void clickerPlay::afterClick(const scenario::AfterClick& actions) {
    if (!actions.proxy.empty()) {
        net::SetProxy(actions.proxy, true);
    }
    if (actions.purge) {
        net::ClearCache();
    }
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
}

bool clickerPlay::fileGone() {
    // Another program may delete or rewrite the file while it plays: the
    // steps are read again whenever the file changed, so that a step that no
    // longer exists is not clicked at the defaults' top-left corner. The
    // store watches the file for its own reads; asking it costs one such look.
    const ProfileStore::Version now = m_file->version();
    if (!now.present) {
        m_events.failed(RunEvents::Failure::NotFound);
        return true;
    }
    // The store reads a file over its limit as empty: say so rather than
    // play nothing as if it were done.
    if (now.size > ProfileStore::kFileLimit) {
        m_events.failed(RunEvents::Failure::TooLarge);
        return true;
    }
    if (!m_stepsRead || now.generation != m_generation) {
        readSteps();
        // Read after the steps: a change during their reading is seen next time.
        m_generation = m_file->version().generation;
        m_stepsRead = true;
    }
    return false;
}

clickerPlay::Outcome clickerPlay::run() {
    if (!m_fileExisted) {
        m_events.failed(RunEvents::Failure::NotFound);
        return Outcome::NotFound;
    }
    // The store reads an unreadable file as empty: say so rather than play
    // nothing as if it were done.
    if (!std::ifstream(m_path, std::ios::binary).is_open()) {
        m_events.failed(RunEvents::Failure::Unreadable);
        return Outcome::NotFound;
    }
    if (fileGone()) {
        return Outcome::NotFound;
    }

    g_stop.store(false);
    m_late = {};
    m_waitEnded.reset();
    const std::int64_t baseDelay = scenario::delayOfSpeed(m_speed);
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
            std::int32_t pause = 0;
            {
                // One look at the file for the step list and the step's keys:
                // both come from the same version of it.
                const ProfileStore::Snapshot snapshot(*m_file);
                if (fileGone()) {
                    return Outcome::NotFound;
                }
                const auto next = std::upper_bound(m_steps.begin(), m_steps.end(), last);
                if (next == m_steps.end()) {
                    break;
                }
                last = *next;
                m_events.step(Progress{static_cast<int>(next - m_steps.begin() + 1),
                                       static_cast<int>(m_steps.size()), rep, m_repeat});
                pause = playStep(scenario::stepSection(last));
            }
            sf::ProcessEvents();
            if (stopRequested() || wait(baseDelay + pause)) {
                return Outcome::Stopped;
            }
        }
    }
    return Outcome::Finished;
}

} // namespace pressmark
