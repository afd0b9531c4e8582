#pragma once

#include "platform/Backend.h"
#include "scenario/clicker.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>

namespace pressmark {

// What a recording reports as it goes; the window decides what each means on
// screen.
class RecordingEvents {
public:
    virtual ~RecordingEvents() = default;
    // Sampling is on: tick() is wanted every 10 ms from now on.
    virtual void recordingStarted() = 0;
    // Sampling is off and the recorded clicks are on the disk.
    virtual void recordingStopped() = 0;
    // Every eleventh tick: the indicator's turn to change.
    virtual void blink() = 0;
    // An action's prompt is about to open, and it has closed (with whatever
    // the action did to other programs done).
    virtual void promptOpening() = 0;
    virtual void promptClosed() = 0;
    // The text went out without characters that no key of this system can
    // produce (none of the user's keyboard layouts holds them).
    virtual void textNotTyped(int /*skipped*/) {}
};

// Turns the presses the platform reports into steps of one scenario file
// while recording is on.
class clickerRec : public clicker {
public:
    clickerRec(std::filesystem::path path, RecordingEvents& events);
    // finish(), when it has not run yet.
    ~clickerRec() override;

    // Counters to 0, [sett] sleep = the default delay, sampling on, then
    // reports the recording started. Throws AppError when the file cannot be
    // written (sampling stays off, nothing reported).
    void start();
    // One tick of the 10 ms timer. Throws AppError when a write fails.
    // Returns false when the step limit was reached and recording must end.
    bool tick();
    // Ends the recording once: sampling off, the recorded clicks synced to
    // the disk, then reports the recording stopped.
    void finish();
    bool finished() const { return m_finished; }

    // The actions attached to the last step (the guard for "no recorder" is
    // the caller's: see Recording). An action whose prompt is still open when
    // the recording ends does nothing once the prompt closes.
    void insertDelay();
    void sendText();
    void changeProxy();
    void purgeCache();

    std::int32_t stepCount() const { return m_stepCount; }
    std::int32_t blinkCounter() const { return m_blink; }
    // Numbers the next recorded press step + 1: lets tests and benchmarks
    // start near the step limit without recording thousands of clicks.
    void continueAfter(std::int32_t step) { m_stepCount = step; }

private:
    ProfileStore& store() const;
    void recordPress(const platform::Press& press);

    RecordingEvents& m_events;
    std::int32_t m_blink = 0;
    std::int32_t m_stepCount = 0;
    bool m_sampling = false;
    bool m_finished = false;
};

// The process-wide recording state: at most one current recorder, started,
// stopped and ticked by whoever drives it, the window or a test.
class Recording {
public:
    explicit Recording(RecordingEvents& events);
    ~Recording();
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

    bool active() const { return m_current != nullptr; }
    clickerRec* current() const { return m_current.get(); }

    // Starts a recording of the named scenario (UTF-8 name) in the folder:
    // refuses an invalid name, asks before replacing an existing scenario
    // (its step sections are removed on Yes), ends a recording still on as
    // stop() does, then creates and starts the recorder. Returns true when
    // the new recording is on. A write failure ends the recording as stop()
    // does and is rethrown, once.
    bool start(const std::filesystem::path& folder, std::string_view nameUtf8);
    // The recorder finished and freed. Nothing when off.
    void stop();
    // The current recorder's tick, every 10 ms; ends the recording at the step limit
    // and on a write failure (rethrown, once).
    void tick();

    // The four actions on the last step, with the guard when no recording is on.
    void insertDelay();
    void sendText();
    void changeProxy();
    void purgeCache();

private:
    RecordingEvents& m_events;
    // Shared so that an action whose modal prompt runs the Stop handler keeps
    // its recorder alive until the prompt returns.
    std::shared_ptr<clickerRec> m_current;
};

} // namespace pressmark
