#pragma once

#include "ProfileStore.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace pressmark::scenario {

// A scenario file's layout, the one place that spells it: [sett] holds the
// settings, [1]..[9999] the steps in playing order, [0] a preface carried
// out at the start of every repetition. Each step is a click (x, y in the
// normalized 0..65535 space, key 1 for the left button, 2 for the right)
// with what the recorder attached to it: an extra pause, a text typed after
// the click, a proxy set and a cache purge after the text. The file keeps
// its texts as code page 1251 bytes; these accessors take and give UTF-8,
// and are the one place that converts them. A text to write holds only
// characters that 1251 can hold (the dialogs and the description field
// refuse any other); a stray one would be written as '?'.

constexpr std::int32_t kLastStep = 9999;

// The speed the window shows and the base delay [sett] holds add up to
// kMaxSpeed; a new recording starts at kDefaultDelay.
constexpr std::int32_t kMaxSpeed = 10000;
constexpr std::int32_t kDefaultDelay = 300;
// 64 bits: a hand-edited sleep near the 32-bit limits must not overflow.
constexpr std::int64_t delayOfSpeed(std::int64_t speed) {
    return kMaxSpeed - speed;
}
// The speed a stored delay stands for, kept as the stored value allows; a
// delay of kMaxSpeed (speed 0) reads as the default delay's speed.
std::int32_t speedOfDelay(std::int32_t delay);

// [sett] as the window shows it and a run uses it.
struct Settings {
    std::int32_t speed = 0;
    std::int32_t repeat = 1; // 0 reads as 1
    std::string description; // 1251, one line
};

// A step section's number: 1..9999 written in decimal without sign or
// leading zero, as the recorder names them; 0 for any other name.
int stepNumber(std::string_view section);
std::string stepSection(int number);
// Numbered the way a hand may number them ("0", "007"): every such section
// belongs to a recording, and a new recording of the name removes them.
bool isNumberedSection(std::string_view section);
constexpr std::string_view kPreface = "0";

// Where the pointer goes and which button it presses, read first; what
// follows the click is read after it (see ScenarioFile::readAfterClick).
struct Click {
    std::int32_t x = 0;
    std::int32_t y = 0;
    bool left = false;
    std::int32_t pause = 0; // added to the base delay after the step
    std::string text;       // typed after the click
};
struct AfterClick {
    std::string proxy; // empty: none
    bool purge = false;
};

class ScenarioFile {
public:
    explicit ScenarioFile(ProfileStore& store) : m_store(store) {}

    // Settings.
    std::int32_t baseDelay() const;   // sleep, 0 when absent
    std::int32_t repeatCount() const; // repeat, 1 when absent
    std::string description() const;  // Comments, one line
    void writeBaseDelay(std::int32_t ms);
    void writeRepeatCount(std::int32_t count);
    void writeDescription(std::string_view text);
    Settings settings() const;

    // Steps: each read goes to the file, so that a file changed while it
    // plays is played as it reads now.
    Click readClick(std::string_view section) const;
    AfterClick readAfterClick(std::string_view section) const;
    // The preface has no click: its pause and what follows.
    std::int32_t readPause(std::string_view section) const;

    // A recorded click: x, y and key in one write, so that a crash leaves
    // the step whole or absent.
    void writeClick(int step, std::int32_t x, std::int32_t y, bool left);
    void writePause(int step, std::int32_t ms);
    void writeText(int step, std::string_view text);
    void writeProxy(int step, std::string_view proxy);
    void writePurge(int step);
    // Every numbered section of an earlier recording; [sett] stays.
    void removeSteps();

private:
    ProfileStore& m_store;
};

// The settings of a scenario file; nothing when there is no such file.
std::optional<Settings> loadSettings(const std::filesystem::path& file);

} // namespace pressmark::scenario
