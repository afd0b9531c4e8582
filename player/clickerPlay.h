#pragma once

#include "scenario/ScenarioFormat.h"
#include "scenario/WindowControls.h"
#include "scenario/clicker.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace pressmark {

// The process-wide stop flag: cleared when a run starts, set by SStopBtn and
// Alt+W (and by closing the window during a run).
void requestStop();
bool stopRequested();

// Plays one scenario file; also the short-lived object through which the
// window loads a scenario's settings and saves single settings. The page
// control is disabled while a player exists, whatever ends its life.
class clickerPlay : public clicker {
public:
    // Takes the path selected in Flb1 (error notice when none), disables pc,
    // and with loadSettings and an existing file loads speed, repeat and
    // description into sc, re and m2; then takes the repeat count from re.
    clickerPlay(WindowControls& window, bool loadSettings);
    ~clickerPlay() override;

    enum class Outcome { Finished, Stopped, NotFound };
    struct Progress {
        int step; // 1-based index among the steps played
        int steps;
        int repetition; // 1-based
        int repetitions;
    };
    // Called before each step is played (for the command line's progress).
    void onProgress(std::function<void(const Progress&)> fn) { m_onProgress = std::move(fn); }
    // Overrides the repeat count taken from re (the command line's --repeat).
    void setRepeatCount(std::int32_t n) { m_repeat = n; }

    // Plays the scenario: the step sections 1..9999 in numeric order, the
    // actions of [0] at the start of each repetition. Clears the stop flag
    // first and tests it before every step and during every wait. An
    // AppError from a proxy change ends the run and propagates (pc is
    // enabled again when the player is freed). The file is played as it
    // reads at each step: a step deleted meanwhile is skipped, one added
    // after the current step is played, and a file deleted ends the run
    // with "Сценарий не найден!" (NotFound, as for a file that cannot be
    // read at all, and for one over the store's size limit, which says
    // "Файл сценария слишком большой!").
    Outcome run();
    // Asks, deletes the selected file, removes it from Flb1; reports a
    // failed delete.
    void deleteScenario();

    std::int32_t speed() const { return m_speed; }
    std::int32_t repeatCount() const { return m_repeat; }
    // The number of steps the last run played per repetition.
    std::int32_t stepsBound() const { return m_stepsBound; }

private:
    // What tells that another program changed the file.
    struct Stamp {
        bool present = false;
        std::uintmax_t size = 0;
        std::filesystem::file_time_type time{};
        bool operator==(const Stamp&) const = default;
    };
    Stamp stamp() const;
    void readSteps();
    // True (after the notice) when the file is gone; reads the steps again
    // when it changed.
    bool fileGone();
    // Waits through sf::Delay; returns true when the stop flag ended the wait.
    bool wait(std::int64_t ms);
    void playStep(const std::string& section);
    // The actions of [0]: no click, no base delay. True when stopped.
    bool playPreface();
    // The proxy and the purge, after a step's click and text.
    void afterClick(const scenario::AfterClick& actions);

    WindowControls& m_window;
    std::int32_t m_repeat = 1;
    std::int32_t m_stepsBound = 0;
    std::int32_t m_speed = 0;
    std::vector<std::string> m_sections;
    std::vector<int> m_steps; // the step numbers, sorted
    bool m_preface = false;
    Stamp m_stamp;
    std::function<void(const Progress&)> m_onProgress;
    // How much later than asked the earlier waits of this run ended (the
    // system's sleep overshoots); repaid in whole milliseconds by later waits.
    std::chrono::nanoseconds m_late{0};
};

} // namespace pressmark
