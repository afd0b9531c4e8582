#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace pressmark {

// What the recorder and the player change on the main window, and nothing
// more. The window implements it with widgets; tests with plain fields. The
// defaults do nothing, so that a stand-in without widgets (the command
// line's player) overrides only what it keeps.
class WindowControls {
public:
    virtual ~WindowControls() = default;

    enum class Indicator { Yellow, Red };

    virtual void setRecordEnabled(bool /*on*/) {}        // RecBtn
    virtual void setStopRecordEnabled(bool /*on*/) {}    // StopRecBtn
    virtual void setScenariosPageEnabled(bool /*on*/) {} // TabSheet1
    virtual void setPagesEnabled(bool /*on*/) {}         // pc
    virtual void setIndicator(Indicator colour) = 0;     // S1
    virtual Indicator indicator() const = 0;
    virtual void setSamplingTimer(bool /*on*/) {} // T1, 10 ms
    virtual void refreshScenarioList() {}         // Flb1 re-read
    // Full path of the file selected in Flb1; empty when nothing is selected.
    virtual std::filesystem::path selectedScenarioPath() const = 0;
    // Removes the selected entry from Flb1; afterwards nothing is selected.
    virtual void removeSelectedScenario() = 0;
    virtual void setSpeed(int speed) = 0;                   // sc, limited to 0..10000; sd follows
    virtual void setRepeat(int repeat) = 0;                 // re, limited to 1..100
    virtual int repeat() = 0;                               // re as read (empty reads as 1)
    virtual void setDescription(std::string_view text) = 0; // m2
    virtual void hideWindow() {}
    virtual void showWindow() {}
    // Native handle of the main window, as owner of a message box.
    virtual const void* nativeHandle() const = 0;
};

} // namespace pressmark
