#pragma once

#include "platform/Backend.h"
#include "scenario/ScenarioFolder.h"

#include <QString>

#include <functional>
#include <memory>

// What the program entry needs from the system it runs on (X11 or Wayland,
// in PlatformBackendLinux.cpp); main.cpp names no platform.
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
    // Call after the QApplication exists, and destroy it before.
    InstalledBackend();
    ~InstalledBackend();
    InstalledBackend(const InstalledBackend&) = delete;
    InstalledBackend& operator=(const InstalledBackend&) = delete;

    // The installed services, for the window to put its dialogs in front.
    platform::Backend services() const;
    // Empty when recording, playing and hot keys work; otherwise why not:
    // one line for standard error in Play mode, the window's own language
    // in Window mode.
    QString problem(RunMode mode) const;
    // What works otherwise here than on X11, to be said once (the same
    // languages); empty when nothing does.
    QString note(RunMode mode) const;
    // Ctrl+C, the system's polite "terminate", a hang-up, the quit key and
    // the user signals call requestStop() and then, from the event loop,
    // andThen (the window closes itself there): the program ends the
    // ordinary way, giving back what it borrowed from the desktop (remapped
    // keys, hot-key bindings). A second Ctrl+C
    // ends it at once.
    void stopOnInterrupt(std::function<void()> andThen = {});
    // The window that owns notices shown without an owner (its native id).
    void setDialogOwner(const void* owner);

private:
    struct System; // the system's own backend
    std::unique_ptr<System> m_system;
};

// The generic error report ("Pressmark", the error icon, OK) and a warning
// at start-up, shown as the system's own message boxes are.
// Owner: the native handle of the window the box must stay above.
void showErrorReport(const QString& text, const void* owner);
void showWarning(const QString& text, const void* owner);

// Call after the QApplication exists, and destroy the result before it.
std::unique_ptr<InstalledBackend> installPlatformBackend();

} // namespace pressmark
