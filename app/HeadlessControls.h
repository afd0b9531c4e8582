#pragma once

#include "scenario/WindowControls.h"

#include <algorithm>
#include <filesystem>
#include <string>

namespace pressmark {

// The window as the command line's player sees it: no widgets, the one
// scenario given on the command line selected, the settings it loads kept
// under the same limits as the window's controls.
class HeadlessControls final : public WindowControls {
public:
    explicit HeadlessControls(std::filesystem::path scenario) : m_scenario(std::move(scenario)) {}

    void setIndicator(Indicator colour) override { m_indicator = colour; }
    Indicator indicator() const override { return m_indicator; }
    std::filesystem::path selectedScenarioPath() const override { return m_scenario; }
    void removeSelectedScenario() override { m_scenario.clear(); }
    void setSpeed(int speed) override { m_speed = std::clamp(speed, 0, 10000); }
    void setRepeat(int repeat) override { m_repeat = std::clamp(repeat, 1, 100); }
    int repeat() override { return m_repeat; }
    void setDescription(std::string_view text) override { m_description = text; }
    const void* nativeHandle() const override { return nullptr; }

    const std::string& description() const { return m_description; }

private:
    std::filesystem::path m_scenario;
    Indicator m_indicator = Indicator::Yellow;
    int m_speed = 0;
    int m_repeat = 1;
    std::string m_description;
};

} // namespace pressmark
