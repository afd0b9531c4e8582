#pragma once

#include "scenario/WindowControls.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>

namespace pressmark {

// The main window as plain fields, in the state the window starts in. The
// setters limit values as the real controls do. Base is WindowControls for
// the engine's tests, MainView for the window's.
template <class Base = WindowControls> class FakeWindowOf : public Base {
public:
    using Indicator = WindowControls::Indicator;
    bool recordEnabled = true;
    bool stopRecordEnabled = false;
    bool scenariosPageEnabled = true;
    bool pagesEnabled = true;
    Indicator colour = Indicator::Yellow;
    bool samplingTimer = false;
    int listRefreshes = 0;
    std::filesystem::path selected;
    int removedEntries = 0;
    int speed = 0;
    int repeatValue = 1;
    std::string description;
    bool visible = true;
    int hides = 0;
    int shows = 0;

    void setRecordEnabled(bool on) override { recordEnabled = on; }
    void setStopRecordEnabled(bool on) override { stopRecordEnabled = on; }
    void setScenariosPageEnabled(bool on) override { scenariosPageEnabled = on; }
    void setPagesEnabled(bool on) override { pagesEnabled = on; }
    void setIndicator(Indicator c) override { colour = c; }
    Indicator indicator() const override { return colour; }
    void setSamplingTimer(bool on) override { samplingTimer = on; }
    void refreshScenarioList() override { ++listRefreshes; }
    std::filesystem::path selectedScenarioPath() const override { return selected; }
    void removeSelectedScenario() override {
        ++removedEntries;
        selected.clear();
    }
    void setSpeed(int s) override { speed = std::clamp(s, 0, 10000); }
    void setRepeat(int r) override { repeatValue = std::clamp(r, 1, 100); }
    int repeat() override { return repeatValue; }
    void setDescription(std::string_view text) override { description = text; }
    void hideWindow() override {
        visible = false;
        ++hides;
    }
    void showWindow() override {
        visible = true;
        ++shows;
    }
    const void* nativeHandle() const override { return this; }
};
using FakeWindow = FakeWindowOf<>;

} // namespace pressmark
