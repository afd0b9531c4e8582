#pragma once

#include "platform/Backend.h"
#include "SwayIpc.h"

#include <QObject>
#include <QSocketNotifier>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pressmark::platform::wayland {

// Global hot keys as sway bindings made over its IPC socket: each chord runs
// "nop pressmark:<systemId>", which sway reports as a binding event on a
// second connection; the events are delivered on the thread this object
// lives on (the Qt main thread). sway replaces a binding of the same chord
// without a word, so a chord the user's configuration binds in the default
// mode is refused rather than taken over. The chords bound are listed in a
// record in $XDG_RUNTIME_DIR, one per sway socket: a run that was killed
// leaves them bound, and the next one unbinds them.
class HotKeysSway final : public QObject, public HotKeys {
public:
    // Null when no sway answers at socketPath (default $SWAYSOCK).
    static std::unique_ptr<HotKeysSway> create(const char* socketPath = nullptr);
    ~HotKeysSway() override; // unbinds every chord it bound

    bool registerHotKey(int systemId, unsigned keyCode, unsigned modifiers) override;
    void unregisterHotKey(int systemId) override;
    void setHandler(std::function<void(int systemId)> handler) override;

    // Unbinds every chord and removes the record: what the destructor does,
    // for an exit that does not run it.
    void unbindAll();
    // Where the chords bound are recorded; empty without $XDG_RUNTIME_DIR.
    const std::string& recordPath() const { return m_recordPath; }

private:
    HotKeysSway(std::unique_ptr<SwayIpc> commands, std::unique_ptr<SwayIpc> events);
    void unbindLeftovers();
    bool writeRecord(const std::vector<std::string>& chords);
    std::vector<std::string> boundChords() const;
    void onEvents();

    std::unique_ptr<SwayIpc> m_ipc;
    std::unique_ptr<SwayIpc> m_events;
    std::unique_ptr<QSocketNotifier> m_notifier;
    // systemId -> its chord, then the same key under the other layouts' names
    std::map<int, std::vector<std::string>> m_bound;
    std::function<void(int)> m_handler;
    std::string m_recordPath;
};

// The chord in sway's spelling ("Ctrl+q", "Mod1+w") for a Windows virtual-key
// code and Win32 modifiers; empty when the key has no name in sway.
std::string swayChord(unsigned keyCode, unsigned modifiers);

// Whether the user's sway configuration binds the chord in its default mode:
// configs holds the main text and the included ones, as GET_CONFIG gives
// them. Reads bindsym and bindcode lines (in blocks too), with variables set
// by "set", any spelling of the modifiers, any case of the key.
bool configBindsChord(const std::vector<std::string>& configs, unsigned keyCode,
                      unsigned modifiers);

// The names the key of a Windows virtual-key code (as the first configured
// layout places it) has in the other layouts of the configuration, which
// sway matches chords against while such a layout is active.
std::vector<std::string> namesInOtherLayouts(const std::vector<std::string>& configs,
                                             unsigned keyCode);

// The texts of GET_CONFIG's reply: the main configuration, then the included
// ones (sway 1.7 reports none: those its include lines name are read from
// the disk).
std::vector<std::string> configTexts(std::string_view getConfigReply);

} // namespace pressmark::platform::wayland
