#pragma once

#include "player/clickerPlay.h"
#include "recorder/clickerRec.h"
#include "window/MainView.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pressmark {

// What the recorder and the player reported, as plain fields.
class FakeEvents : public RecordingEvents, public RunEvents {
public:
    bool recording = false; // between "started" and "stopped"
    int starts = 0;
    int stops = 0;
    std::vector<int> blinks; // the tick (1-based, counted here) of each
    int ticks = 0;           // counted by the tests that look at blinks
    bool promptOpen = false;
    int prompts = 0;
    int promptsClosed = 0;
    std::vector<Progress> steps;
    std::vector<Failure> failures;

    void recordingStarted() override {
        recording = true;
        ++starts;
    }
    void recordingStopped() override {
        recording = false;
        ++stops;
    }
    void blink() override { blinks.push_back(ticks); }
    void promptOpening() override {
        promptOpen = true;
        ++prompts;
    }
    void promptClosed() override {
        promptOpen = false;
        ++promptsClosed;
    }
    void step(const Progress& p) override { steps.push_back(p); }
    void failed(Failure why) override { failures.push_back(why); }
};

// The main window's controls as plain fields, in the state the window starts
// in. The setters limit values as the real controls do.
template <class Base> class FakeWindowOf : public Base {
public:
    using Indicator = MainView::Indicator;
    bool recordEnabled = true;
    bool stopRecordEnabled = false;
    bool scenariosPageEnabled = true;
    bool pagesEnabled = true;
    Indicator colour = Indicator::Yellow;
    bool samplingTimer = false;
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

} // namespace pressmark
