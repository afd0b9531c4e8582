#pragma once

#include "scenario/ScenarioFolder.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pressmark {

// What the window's behaviour needs from a front end: the controls' states,
// the values the user set, the texts to show, focus and the tray. A front
// end draws and forwards; it decides nothing. Texts are UTF-8 unless named
// otherwise.
class MainView {
public:
    virtual ~MainView() = default;

    enum class Indicator { Yellow, Red };

    virtual void setRecordEnabled(bool on) = 0;        // RecBtn
    virtual void setStopRecordEnabled(bool on) = 0;    // StopRecBtn
    virtual void setScenariosPageEnabled(bool on) = 0; // TabSheet1
    virtual void setPagesEnabled(bool on) = 0;         // pc
    virtual void setIndicator(Indicator colour) = 0;   // S1
    virtual Indicator indicator() const = 0;
    virtual void setSamplingTimer(bool on) = 0; // T1, 10 ms
    // Full path of the file selected in Flb1; empty when nothing is selected.
    virtual std::filesystem::path selectedScenarioPath() const = 0;
    // Removes the selected entry from Flb1; afterwards nothing is selected.
    virtual void removeSelectedScenario() = 0;
    virtual void setSpeed(int speed) = 0;                     // sc, limited to 0..10000; sd follows
    virtual void setDescription(std::string_view cp1251) = 0; // m2
    virtual void hideWindow() = 0;
    virtual void showWindow() = 0;
    // Native handle of the main window, as owner of a message box.
    virtual const void* nativeHandle() const = 0;

    // sc's position (0..10000) and the 7-segment sd that shows it.
    virtual int speedPosition() const = 0;
    virtual void showSpeedDigits(int value) = 0;
    // rt ("Сворачивать при начале записи") and acst (... при запуске сценария).
    virtual bool minimizeOnRecord() const = 0;
    virtual bool minimizeOnRun() const = 0;
    // m2 as typed, and the focus put back into it after a save.
    virtual std::string descriptionText() const = 0;
    virtual void focusDescription() = 0;
    // m2Note, along the memo's foot: shows `note` for the theme's noteMs,
    // then hides it.
    virtual void showDescriptionNote(const std::string& note) = 0;
    // re's text as it stands, and a text to show in it. The field's rules
    // (repeatfield) are applied here, not by the front ends.
    virtual std::string repeatText() const = 0;
    virtual void showRepeatText(const std::string& text) = 0;
    // re, limited to 1..100, and re as read (empty reads as 1).
    virtual void setRepeat(int repeat);
    virtual int repeat();
    // One step of re's spin buttons, keys or wheel (before its handler runs).
    void stepRepeat(int delta);
    // RzLabel3's lines.
    virtual void setHotKeyText(const std::string& text) = 0;
    // Recording and running cannot work here: RecBtn and SStartBtn disabled,
    // each showing `why` when the pointer rests on it.
    virtual void disableRecordAndRun(const std::string& why) = 0;
    // Flb1's entries in the order given, or why the folder cannot be
    // listed (then the list is empty); an empty problem hides the note.
    virtual void setScenarios(const std::vector<ScenarioEntry>& entries) = 0;
    virtual void showFolderProblem(const std::string& problem) = 0;
    // lb2's chosen topic, -1 when none is selected; m3's text.
    virtual int chosenHelpTopic() const = 0;
    virtual void showHelp(const std::vector<std::string>& lines) = 0;
    // The control with the keyboard focus, kept across a handler that
    // disables the pages for a moment.
    virtual void saveFocus() = 0;
    virtual void restoreFocus() = 0;
    // A modifier key (Alt, Ctrl, Shift, the logo key) is still held.
    virtual bool modifiersHeld() const = 0;
    virtual void minimizeToTray() = 0;
    // Closes the window once the current event is handled.
    virtual void closeLater() = 0;
    // An error a handler let escape: the generic error report.
    virtual void reportError(const std::string& text) = 0;
    // The path of an installed program by its name, empty when none.
    virtual std::string findProgram(const std::string& name) const = 0;
};

} // namespace pressmark
