#pragma once

#include "scenario/ScenarioFormat.h"
#include "scenario/clicker.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pressmark {

// The process-wide stop flag: cleared when a run starts, set when the user
// stops the run (the window's stop, its hot key, closing it; Ctrl+C of the
// command line).
void requestStop();
bool stopRequested();

// What a run reports as it goes; the window and the command line decide what
// each means to the user. A run's end is run()'s result.
class RunEvents {
public:
    virtual ~RunEvents() = default;

    struct Progress {
        int step; // 1-based index among the steps played
        int steps;
        int repetition; // 1-based
        int repetitions;
    };
    // Before each step is played.
    virtual void step(const Progress& /*progress*/) {}

    enum class Failure {
        NotFound,   // no file when the player was made, or deleted meanwhile
        Unreadable, // there, but it cannot be opened
        TooLarge,   // over the store's size limit, which reads as empty
    };
    // The run ends without playing further (run() returns NotFound).
    virtual void failed(Failure why) = 0;
    // A step's text went out without characters that no key of this system
    // can produce (none of the user's keyboard layouts holds them).
    virtual void textNotTyped(int /*skipped*/) {}
};

// Plays one scenario file.
class clickerPlay : public clicker {
public:
    // speed and repeat as the scenario's settings give them (the window's
    // and the command line's limits applied); the wait after each step is
    // the base delay that speed stands for plus the step's pause.
    clickerPlay(std::filesystem::path file, std::int32_t speed, std::int32_t repeat,
                RunEvents& events);

    enum class Outcome { Finished, Stopped, NotFound };
    using Progress = RunEvents::Progress;

    // Plays the scenario: the step sections 1..9999 in numeric order, the
    // actions of [0] at the start of each repetition. Clears the stop flag
    // first and tests it before every step and during every wait. An
    // AppError from a proxy change ends the run and propagates. The file is
    // played as it reads at each step: a step deleted meanwhile is skipped,
    // one added after the current step is played, and a file deleted, or
    // grown over the store's size limit, ends the run as failed.
    Outcome run();

    std::int32_t speed() const { return m_speed; }
    std::int32_t repeatCount() const { return m_repeat; }

private:
    void readSteps();
    // True (after reporting it) when the file is gone or too large; reads
    // the steps again when the store says it changed.
    bool fileGone();
    // Waits through sf::Delay; returns true when the stop flag ended the wait.
    bool wait(std::int64_t ms);
    // Returns the step's own pause.
    std::int32_t playStep(const std::string& section);
    // The actions of [0]: no click, no base delay. True when stopped.
    bool playPreface();
    // The proxy and the purge, after a step's click and text.
    void afterClick(const scenario::AfterClick& actions);

    RunEvents& m_events;
    std::int32_t m_speed = 0;
    std::int32_t m_repeat = 1;
    std::vector<std::string> m_sections;
    std::vector<int> m_steps; // the step numbers, sorted
    bool m_preface = false;
    bool m_stepsRead = false;
    std::uint64_t m_generation = 0; // the store's, when the steps were read
    // How much later than the scenario's rhythm the run is: what the earlier
    // waits overslept and what the steps between them took (the click, the
    // look at the file); repaid in whole milliseconds by later waits.
    std::chrono::nanoseconds m_late{0};
    // When the previous wait of this run ended.
    std::optional<std::chrono::nanoseconds> m_waitEnded;
};

} // namespace pressmark
