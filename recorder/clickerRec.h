#pragma once

#include "scenario/WindowControls.h"
#include "scenario/clicker.h"

#include <cstdint>
#include <filesystem>

namespace pressmark {

// Turns the presses the platform reports into steps of one scenario file
// while recording is on.
class clickerRec : public clicker {
public:
    // Enables StopRecBtn, disables RecBtn and TabSheet1.
    clickerRec(std::filesystem::path path, WindowControls& window);
    // Disables StopRecBtn, enables RecBtn and TabSheet1, S1 yellow, Flb1 re-read.
    ~clickerRec() override;

    // Counters to 0, [sett] sleep = 300, sampling and the 10 ms timer on.
    // Throws AppError when the file cannot be written.
    void start();
    // One tick of the 10 ms timer. Throws AppError when a write fails.
    // Returns false when the step limit was reached and recording must end.
    bool tick();

    // The actions attached to the last step (the guard for "no recorder" is
    // the caller's: see Recording).
    void insertDelay();
    void sendText();
    void changeProxy();
    void purgeCache();

    std::int32_t stepCount() const { return m_stepCount; }
    std::int32_t blinkCounter() const { return m_blink; }

private:
    WindowControls& m_window;
    std::int32_t m_blink = 0;
    std::int32_t m_stepCount = 0;
};

// The process-wide recording state behind RecBtn, StopRecBtn, T1 and the four
// action buttons: at most one current recorder.
class Recording {
public:
    explicit Recording(WindowControls& window);
    ~Recording();

    bool active() const { return m_current != nullptr; }
    clickerRec* current() const { return m_current.get(); }

    // Starts a recording of the named scenario (UTF-8 name) in the folder:
    // refuses an invalid name, asks before replacing an existing scenario
    // (its step sections are removed on Yes), then creates and starts the
    // recorder. Returns true when recording is on. A write failure ends the
    // recording as stop() does and is rethrown, once.
    bool start(const std::filesystem::path& folder, std::string_view nameUtf8);
    // StopRecBtn, Ctrl+W: timer off, the recorder freed.
    void stop();
    // T1: the current recorder's tick; ends the recording at the step limit
    // and on a write failure (rethrown, once).
    void tick();

    // The four action buttons, with the guard when no recording is on.
    void insertDelay();
    void sendText();
    void changeProxy();
    void purgeCache();

private:
    WindowControls& m_window;
    std::unique_ptr<clickerRec> m_current;
};

} // namespace pressmark
