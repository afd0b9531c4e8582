#pragma once

#include "Tray.h"
#include "window/Layout.h"
#include "window/MainWindow.h"

#include <windows.h>

#include <filesystem>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pressmark::winui {

// The main window as Win32 common controls, every one made from the
// window's table. Its behaviour is MainWindow's: each notification the table
// names calls that handler, and the view methods only show what it says.
class TForm1 : public MainView {
public:
    struct Options {
        std::filesystem::path scenarioFolder;
        // Empty when the platform offers recording, playback and hot keys.
        std::string platformProblem;
        // The notification-area icon; a window made only to try its controls
        // goes without (Wine's shell takes seconds to let one go).
        bool trayIcon = true;
    };
    // The class of the main window (and of its panes): another start of the
    // program finds the window by it and its caption.
    static constexpr const wchar_t* WindowClass = L"PressmarkPane";
    explicit TForm1(Options options);
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // The window of a control of the table; null for one not drawn.
    HWND hwnd(std::string_view name) const;
    // A context menu of the table; null for another name.
    HMENU menu(std::string_view name) const;
    MainWindow& logic() { return m_logic; }

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
    void setDescription(std::string_view text) override;
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
    void minimizeToTray() override;
    void closeLater() override;
    void reportError(const std::string& text) override;
    std::string findProgram(const std::string& name) const override;

private:
    static LRESULT CALLBACK paneProc(HWND window, UINT message, WPARAM w, LPARAM l);
    static LRESULT CALLBACK controlProc(HWND window, UINT message, WPARAM w, LPARAM l, UINT_PTR id,
                                        DWORD_PTR self);
    void build();
    // A length of the table (at 96 dots per inch) on this screen.
    int px(int pixelsAt96) const;
    HWND make(const layout::Control& c, HWND parent, int id);
    HFONT fontFor(const layout::Control& c);
    HBRUSH brush(COLORREF colour);
    // A notification from a control, wherever it arrived; true when handled.
    bool route(UINT message, WPARAM w, LPARAM l, LRESULT& result);
    // A trackbar's Change, when its position differs from the last one seen.
    void trackMoved(HWND bar);
    // Calls the handlers the control names for these events, each once.
    void fire(const layout::Control& c, std::initializer_list<layout::Event> events);
    void showPage(int index);
    // A character typed (WM_CHAR) or a paste (WM_PASTE) into m2: whether the
    // window lets it in.
    bool memoInput(UINT message, WPARAM w);
    const layout::Control* controlOf(HWND window) const;
    // The brush that paints what shows behind the window (its own fill, or
    // the page, bar or group it stands on), its origin set in `dc` so that a
    // gradient lines up with the one around the window.
    HBRUSH backgroundBrush(HWND window, HDC dc);
    // The controls the table's look asks this window to draw itself.
    HBRUSH pattern(const layout::Control& owner, bool groupBody);
    bool drawItem(const DRAWITEMSTRUCT& item);
    void paintGroup(HWND window, const layout::Control& c);
    // A control's messages about its look (hover, keys, painting); true
    // when answered. May change `w` for the control's own procedure.
    bool lookMessage(HWND window, const layout::Control& c, UINT message, WPARAM& w,
                     LRESULT& result);

    Options m_options;
    Indicator m_indicator = Indicator::Yellow;
    int m_dpi = 96; // the screen's, when the window was made
    HWND m_form = nullptr;
    HWND m_savedFocus = nullptr;
    std::map<std::string, HWND, std::less<>> m_windows;
    std::map<HWND, const layout::Control*> m_controls;
    std::map<int, const layout::Control*> m_ids; // menu items and timers
    std::map<std::string, HMENU, std::less<>> m_menus;
    std::vector<HWND> m_pages;
    std::vector<std::filesystem::path> m_scenarioPaths;
    std::map<std::string, HFONT> m_fonts;
    std::map<COLORREF, HBRUSH> m_brushes;
    std::map<HWND, int> m_positions; // trackbars
    std::map<HWND, HWND> m_upDowns;  // a spin edit's up-down
    // The gradients as pattern brushes, by the control whose fill each is
    // (and whether it is the group bar's groups' body over that fill).
    std::map<std::pair<const layout::Control*, bool>, std::pair<HBITMAP, HBRUSH>> m_patterns;
    HWND m_hot = nullptr; // the button under the pointer
    wchar_t m_highSurrogate = 0;
    HWND m_tips = nullptr; // why RecBtn and SStartBtn are off
    std::wstring m_why;
    int m_speedDigits = 0;
    std::unique_ptr<Tray> m_tray;
    // Declared last, so destroyed first: a recording still on at exit ends
    // while every window it touches still exists.
    MainWindow m_logic;
};

} // namespace pressmark::winui
