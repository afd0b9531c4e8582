#pragma once

#include "window/Layout.h"
#include "window/MainWindow.h"

#include <QHash>
#include <QPointer>
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

// The main window as Qt widgets: the scenarios page, the recording page and
// the help page, and the tray icon. Its behaviour is MainWindow's; the
// widgets forward their events to it and show what it says.
class TForm1 : public QWidget, public MainView {
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

    bool running() const { return m_logic.running(); }
    const std::filesystem::path& lastLoadedPath() const { return m_logic.lastLoadedPath(); }
    const std::filesystem::path& scenarioFolder() const { return m_logic.scenarioFolder(); }
    Recording& recording() { return m_logic.recording(); }
    // The behaviour behind the widgets, whose handlers their events call.
    MainWindow& logic() { return m_logic; }
    // Hides the window to the tray (a plain minimise when there is no tray).
    void minimizeToTray() override;
    void restoreFromTray();

    // MainView: the controls
    void setRecordEnabled(bool on) override;
    void setStopRecordEnabled(bool on) override;
    void setScenariosPageEnabled(bool on) override;
    void setPagesEnabled(bool on) override;
    void setIndicator(Indicator colour) override;
    Indicator indicator() const override { return m_indicator; }
    void setSamplingTimer(bool on) override;
    std::filesystem::path selectedScenarioPath() const override;
    void removeSelectedScenario() override;
    void setSpeed(int speed) override;
    void setDescription(std::string_view utf8) override;
    void hideWindow() override;
    void showWindow() override;
    const void* nativeHandle() const override;

    // MainView
    int speedPosition() const override;
    void showSpeedDigits(int value) override;
    bool minimizeOnRecord() const override;
    bool minimizeOnRun() const override;
    std::string descriptionText() const override;
    void focusDescription() override;
    void showDescriptionNote(const std::string& note) override;
    std::string repeatText() const override;
    void showRepeatText(const std::string& text) override;
    void setHotKeyText(const std::string& text) override;
    void disableRecordAndRun(const std::string& why) override;
    void setScenarios(const std::vector<ScenarioEntry>& entries) override;
    void showFolderProblem(const std::string& problem) override;
    int chosenHelpTopic() const override;
    void showHelp(const std::vector<std::string>& lines) override;
    void saveFocus() override;
    void restoreFocus() override;
    bool modifiersHeld() const override;
    void closeLater() override;
    void reportError(const std::string& text) override;
    std::string findProgram(const std::string& name) const override;

signals:
    // The window was closed: the program ends.
    void closed();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // A right press anywhere: the menu the table gives for that place.
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // Builds the widgets from the window's table and wires their events to
    // MainWindow's handlers.
    void build();
    QObject* make(const layout::Control& c, QWidget* parent, QObject* owner);
    void place(QWidget& w, const layout::Control& c);
    void connectEvents(const layout::Control& c, QObject* object);

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
    QLabel* m2Note = nullptr;
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
    static constexpr std::array<int, 4> hotKeyIds = MainWindow::hotKeyIds;
    // Whether each of them could be registered.
    const std::array<bool, 4>& hotKeysAvailable() const { return m_logic.hotKeysAvailable(); }

private:
    Options m_options;
    Indicator m_indicator = Indicator::Yellow;
    QPointer<QWidget> m_savedFocus;
    QHash<QString, QMenu*> m_menus;
    QTimer* m_noteTimer = nullptr;
    std::function<void(const QString&)> m_report;
    // Declared last, so destroyed first: a recording still on at exit ends
    // while every widget it touches still exists.
    MainWindow m_logic;
};

} // namespace pressmark
