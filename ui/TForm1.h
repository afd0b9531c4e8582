#pragma once

#include "recorder/clickerRec.h"
#include "scenario/WindowControls.h"

#include <QString>
#include <QSystemTrayIcon>
#include <QWidget>

#include <array>
#include <filesystem>
#include <functional>

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLCDNumber;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimer;

namespace pressmark {

class Memo1251;
class RepeatEdit;
class TrackBar;

// The main window: the scenarios page, the recording page and the help page,
// the four global hot keys and the tray icon. The recorder and the player
// change it only through WindowControls.
class TForm1 : public QWidget, public WindowControls {
    Q_OBJECT
public:
    struct Options {
        std::filesystem::path scenarioFolder;
        // Empty when the platform offers recording, playback and hot keys;
        // otherwise why it does not (the window stays usable without them).
        QString platformProblem;
    };
    explicit TForm1(Options options, QWidget* parent = nullptr);
    ~TForm1() override;

    // Where errors that escape a handler are shown; a message box by default.
    void setErrorReport(std::function<void(const QString&)> report);

    bool running() const { return m_running; }
    const std::filesystem::path& lastLoadedPath() const { return m_lastLoaded; }
    const std::filesystem::path& scenarioFolder() const { return m_folder; }
    Recording& recording() { return m_recording; }
    // Hides the window to the tray (a plain minimise when there is no tray).
    void minimizeToTray();
    void restoreFromTray();

    // WindowControls
    void setRecordEnabled(bool on) override;
    void setStopRecordEnabled(bool on) override;
    void setScenariosPageEnabled(bool on) override;
    void setPagesEnabled(bool on) override;
    void setIndicator(Indicator colour) override;
    Indicator indicator() const override { return m_indicator; }
    void setSamplingTimer(bool on) override;
    void refreshScenarioList() override;
    std::filesystem::path selectedScenarioPath() const override;
    void removeSelectedScenario() override;
    void setSpeed(int speed) override;
    void setRepeat(int repeat) override;
    int repeat() override;
    void setDescription(std::string_view cp1251) override;
    void hideWindow() override;
    void showWindow() override;
    const void* nativeHandle() const override;

public slots:
    // Each handler reports an error that escapes it and returns.
    void onHotKey(int systemId);
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

signals:
    // The window was closed: the program ends.
    void closed();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void build();
    void buildScenariosPage();
    void buildRecordingPage();
    void buildHelpPage();
    void formCreate();
    void registerHotKeys();
    void report(const QString& text);
    void guarded(const std::function<void()>& body);
    void run();
    void waitForModifierRelease();
    void record();
    void doSpeedDialog(bool askDelay);
    void saveSetting(const std::function<void(scenario::ScenarioFile&)>& write);
    bool scenarioSelected() const;
    void updateHotKeyLabel();

public:
    // The controls, under the names the rest of the program uses.
    QTabWidget* pc = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabRec = nullptr;
    QWidget* TabHelp = nullptr;
    QLabel* Label2 = nullptr;
    QListWidget* Flb1 = nullptr;
    QLabel* folderProblem = nullptr;
    QPushButton* SStartBtn = nullptr;
    QPushButton* SStopBtn = nullptr;
    QPushButton* SDelBtn = nullptr;
    QGroupBox* RzGroupBox1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* N1 = nullptr;
    QAction* N2 = nullptr;
    QLCDNumber* sd = nullptr;
    TrackBar* sc = nullptr;
    QLabel* RzLabel1 = nullptr;
    RepeatEdit* re = nullptr;
    QLabel* RzLabel2 = nullptr;
    Memo1251* m2 = nullptr;
    QWidget* RzGroupBar1 = nullptr;
    QGroupBox* RzGroup1 = nullptr;
    QGroupBox* RzGroup2 = nullptr;
    QGroupBox* RzGroup3 = nullptr;
    QCheckBox* rt = nullptr;
    QLabel* RzLabel3 = nullptr;
    QCheckBox* acst = nullptr;
    QFrame* S1 = nullptr;
    QPushButton* RecBtn = nullptr;
    QPushButton* StopRecBtn = nullptr;
    QPushButton* RzBitBtn5 = nullptr;
    QPushButton* RzBitBtn6 = nullptr;
    QPushButton* RzBitBtn7 = nullptr;
    QPushButton* RzBitBtn3 = nullptr;
    QPushButton* RzBitBtn4 = nullptr;
    QListWidget* lb2 = nullptr;
    QPlainTextEdit* m3 = nullptr;
    QTimer* T1 = nullptr;
    QSystemTrayIcon* tray = nullptr;

    // Ids of the record, stop-recording, run and stop-run hot keys.
    static constexpr std::array<int, 4> hotKeyIds{5, 6, 7, 8};
    // Whether each of them could be registered.
    const std::array<bool, 4>& hotKeysAvailable() const { return m_hotKeyOk; }

private:
    Options m_options;
    std::filesystem::path m_folder;
    std::filesystem::path m_lastLoaded;
    Indicator m_indicator = Indicator::Yellow;
    std::array<bool, 4> m_hotKeyOk{};
    bool m_running = false;
    bool m_closeAfterRun = false;
    bool m_stopWhileStarting = false;
    // Handlers whose dialog is open: a hot key must not start a run or a
    // recording underneath it.
    int m_dialogsOpen = 0;
    std::function<void(const QString&)> m_report;
    // Declared last, so destroyed first: a recording still on at exit ends
    // while everything it touches still exists.
    Recording m_recording;
};

} // namespace pressmark
