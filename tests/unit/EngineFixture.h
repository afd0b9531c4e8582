#pragma once

#include "FakeWindow.h"
#include "platform/fake/FakePlatform.h"
#include "scenario/ProfileStore.h"
#include "scenario/ScenarioFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>

namespace pressmark {

// The engine's tests: the fake backend on its virtual clock, the fake window,
// and a scenario folder of their own that disappears afterwards.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake.install();
        fake.setScreen({0, 0, 1920, 1080});
        std::random_device random;
        for (;;) {
            folder = std::filesystem::temp_directory_path() /
                     ("pressmark-engine-" + std::to_string(random()));
            if (std::filesystem::create_directory(folder)) {
                break;
            }
        }
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }

    std::filesystem::path file(std::string_view name) const { return scenarioFile(folder, name); }
    // Writes a scenario file as given, one line per "\n", with CR LF line ends.
    std::filesystem::path writeScenario(std::string_view name, std::string_view lines) const {
        std::string text;
        for (char c : lines) {
            if (c == '\n') {
                text += "\r\n";
            } else {
                text += c;
            }
        }
        const auto path = file(name);
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    static std::string contents(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    platform::FakePlatform fake;
    FakeEvents events;
    std::filesystem::path folder;
};

} // namespace pressmark
