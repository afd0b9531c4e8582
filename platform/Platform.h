#pragma once

#include "Backend.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pressmark {

// Every text these operations take and give is UTF-8.

// Input devices: the program acts on other programs through these alone.
class dev {
public:
    dev() = delete;
    // Pixel (root coordinates) to the normalized space 0..65535 of the primary
    // screen, in place: 65535 / W first, then times the pixel offset, in
    // extended precision, rounded to nearest with ties to even. No clamping.
    static void ScaleToAbsolute(platform::Point& position);
    // To a point of the normalized space.
    static void MoveTo(std::int32_t x, std::int32_t y);
    static void LeftClick();
    static void RightClick();
    static platform::TypeReport TypeText(std::string_view text);
    // The recorder's view of the pointer: presses are collected between
    // start and stop; TakePresses gives every one since the last call.
    static void StartSampling();
    static void StopSampling();
    static std::vector<platform::Press> TakePresses();
    // While sampling, why presses may be lost (UTF-8); empty when none are.
    static std::string SamplingProblem();
    // Why recording cannot work here at all; empty when it can.
    static std::string RecordingProblem();
};

// System functions.
class sf {
public:
    sf() = delete;
    // Waits until a monotonic deadline, in slices of at most 50 ms. When the
    // whole wait is 50 ms or more, pending events are handled after each
    // slice. A duration of 0 or less returns at once.
    static void Delay(std::int32_t ms);
    // The same, ending early when stop() turns true after an event pass.
    // Returns true when it ended early.
    static bool Delay(std::int32_t ms, const std::function<bool()>& stop);
    // The monotonic clock, and one pass over the pending events.
    static std::chrono::nanoseconds Now();
    static void ProcessEvents();
    // The program folder with a trailing separator.
    static std::string AppDir();
    static void RunProgram(const std::filesystem::path& path);
    static constexpr int HotKeyIdBase = 5550;
    // Registers the hot key under id + HotKeyIdBase: the key of the
    // character (an ASCII letter in either case, a digit), with the
    // modifiers. Returns false when the combination is not available.
    static bool SetHotKey(int id, char key, unsigned modifiers);
    struct HotKey {
        int id;
        char key;
        unsigned modifiers;
    };
    // Several as one request; whether each is available, in their order.
    static std::vector<bool> SetHotKeys(const std::vector<HotKey>& keys);
    // Who hears the hot keys (their id + HotKeyIdBase); an empty handler
    // stops listening. Nothing happens where the system has no hot keys.
    static void SetHotKeyHandler(std::function<void(int systemId)> handler);
    static std::string StripLineBreaks(std::string_view text);
    // Every occurrence of pattern, from left to right, without overlapping;
    // what is put in is not searched again.
    static std::string ReplaceAll(std::string_view text, std::string_view pattern,
                                  std::string_view replacement);
};

// Web settings.
class net {
public:
    net() = delete;
    static void SetProxy(std::string_view proxy, bool enable);
    static void ClearCache();
};

// The message boxes' kinds; the numbers are the ones the dialogs take.
enum NoticeKind : int {
    NoticePlain = 0,
    NoticeInformation = 1,
    NoticeError = 2,
    NoticeConfirm = 3, // yes/no: true for Yes
};
bool Notice(std::string_view text, int kind, const void* owner = nullptr);
// The answer, or the initial value when cancelled.
std::string AskValue(std::string_view initial, std::string_view prompt, std::string_view caption);
// The answer, or nullopt when cancelled: for callers that must tell the two apart.
std::optional<std::string> AskValueOrCancel(std::string_view initial, std::string_view prompt,
                                            std::string_view caption);

// The pure part of sf::AppDir, for both path syntaxes.
std::string appDirFromExecutable(std::string_view exePath, bool windowsSyntax);

} // namespace pressmark
