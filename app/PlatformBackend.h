#pragma once

#include "platform/Backend.h"
#include "scenario/ScenarioFolder.h"

#include <QString>

#include <memory>

// What the program entry needs from the system it was built for. CMake
// compiles exactly one implementation: PlatformBackendX11.cpp on Linux,
// PlatformBackendWin32.cpp on Windows; main.cpp names no platform.
namespace pressmark {

enum class RunMode { Window, Play };

// Called before the QApplication exists. Empty when Qt can open a display
// for mode, else why not (Qt aborts when it cannot open one). Also sets what
// Qt must know before it starts.
QString prepareDisplay(RunMode mode);

// The scenario folder's inputs that come from the environment: the
// PRESSMARK_SCENARIOS override and where per-user data goes.
ScenarioFolderInputs scenarioFolderEnvironment();

// The platform's backend, installed behind dev, sf, net, Notice and AskValue.
class InstalledBackend {
public:
    virtual ~InstalledBackend() = default;

    // The installed services, for the window to put its dialogs in front.
    virtual platform::Backend services() const = 0;
    // Empty when recording, playing and hot keys work; otherwise why not:
    // one line for standard error in Play mode, the window's own language
    // in Window mode.
    virtual QString problem(RunMode mode) const = 0;
    // For --play: Ctrl+C (and the system's polite "terminate") calls
    // requestStop() and wakes the event loop; a second Ctrl+C ends the
    // program the ordinary way.
    virtual void stopOnInterrupt() = 0;
};

// Call after the QApplication exists, and destroy the result before it.
std::unique_ptr<InstalledBackend> installPlatformBackend();

} // namespace pressmark
