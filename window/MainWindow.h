#pragma once

#include "MainView.h"
#include "player/clickerPlay.h"
#include "recorder/clickerRec.h"

#include <array>
#include <filesystem>
#include <functional>
#include <string>

namespace pressmark {

// The main window's behaviour, the same for every front end: the handlers
// under the names the controls' events have, the rules for when a run or a
// recording may start, the hot-key table, the settings that are saved at
// once and the help page. It reaches the widgets only through the view and
// the system only through the platform layer. What the recorder and the
// player report, it turns into enabled states, colours and messages.
class MainWindow final : private RecordingEvents, private RunEvents {
public:
    struct Options {
        std::filesystem::path scenarioFolder;
        // Empty when the platform offers recording, playback and hot keys;
        // otherwise why it does not (the window stays usable without them).
        std::string platformProblem;
    };
    MainWindow(MainView& view, Options options);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // The hot keys: ids (the system sees id + sf::HotKeyIdBase), their
    // lines on the recording page, and what each one runs.
    struct HotKey {
        int id;
        unsigned modifiers; // platform::ModControl, platform::ModAlt
        char key;
    };
    static constexpr std::array<HotKey, 4> hotKeyTable{{{5, platform::ModControl, 'Q'},
                                                        {6, platform::ModControl, 'W'},
                                                        {7, platform::ModAlt, 'Q'},
                                                        {8, platform::ModAlt, 'W'}}};
    static constexpr std::size_t kStopRunKey = 3; // Alt+W, which --play listens to too
    static constexpr std::array<int, 4> hotKeyIds{hotKeyTable[0].id, hotKeyTable[1].id,
                                                  hotKeyTable[2].id, hotKeyTable[3].id};
    // Registers one hot key of the table.
    static bool registerHotKey(const HotKey& key);
    static const std::array<std::string, 4>& hotKeyLines();
    const std::array<bool, 4>& hotKeysAvailable() const { return m_hotKeyOk; }
    // A hot key's message; an id that is not ours does nothing.
    void onHotKey(int systemId);

    // Registers the hot keys, makes the scenario folder and lists it.
    void formCreate();
    // Lists the folder again into Flb1 (or says why it cannot be listed).
    void refreshScenarioList();

    void Flb1Change();
    void SStartBtnClick();
    void SStopBtnClick();
    void SDelBtnClick();
    void RecBtnClick();
    void StopRecBtnClick();
    void RzBitBtn5Click();
    void RzBitBtn6Click();
    void RzBitBtn3Click();
    void RzBitBtn4Click();
    void RzBitBtn7Click();
    void T1Timer();
    void scChange();
    void scMouseUp();
    void N1Click();
    void N2Click();
    void reKeyUp();
    void reButtonClick();
    void m2KeyUp();
    void lb2Click();
    // Text typed or pasted into m2, before it goes in: false refuses it when
    // code page 1251 cannot hold a character of it, and shows why.
    bool descriptionInput(std::string_view utf8);
    // The window is asked to close: false while a run goes on (the run is
    // stopped, and the window closes once it has returned).
    bool closeRequested();

    // The notice for a run that failed, as the window and --play show it (1251).
    static std::string failureNotice(RunEvents::Failure why);
    // What is said of characters a text went out without.
    static std::string notTypedNotice(int skipped);

    bool running() const { return m_running; }
    Recording& recording() { return m_recording; }
    const std::filesystem::path& scenarioFolder() const { return m_folder; }
    const std::filesystem::path& lastLoadedPath() const { return m_lastLoaded; }

private:
    void recordingStarted() override;
    void recordingStopped() override;
    void blink() override;
    void promptOpening() override;
    void promptClosed() override;
    void failed(RunEvents::Failure why) override;
    void textNotTyped(int skipped) override;

    // Loads the selected file's settings into sc, re and m2 when it exists,
    // then reads re as a run takes its repeat count from it.
    scenario::Settings showSettings(const std::filesystem::path& file);
    void guarded(const std::function<void()>& body);
    void run();
    void record();
    void recordingAction(void (Recording::*action)());
    void waitForModifierRelease();
    void doSpeedDialog(bool askDelay);
    void saveSetting(const std::function<void(scenario::ScenarioFile&)>& write);
    bool scenarioSelected() const;
    void updateHotKeyLabel();

    MainView& m_view;
    Options m_options;
    std::filesystem::path m_folder;
    std::filesystem::path m_lastLoaded;
    std::array<bool, 4> m_hotKeyOk{};
    bool m_running = false;
    int m_notTypedInRun = 0; // characters a run's texts went out without
    bool m_closeAfterRun = false;
    bool m_stopWhileStarting = false;
    bool m_saidSamplingProblem = false;
    // Handlers whose dialog is open: a hot key must not start a run or a
    // recording underneath it.
    int m_dialogsOpen = 0;
    // Declared last, so destroyed first: a recording still on at exit ends
    // while everything it touches still exists.
    Recording m_recording;
};

} // namespace pressmark
