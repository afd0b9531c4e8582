#pragma once

#include "../Backend.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace pressmark::platform {

// A backend for tests. It injects nothing: every call is written to a
// readable transcript, dialogs are answered from a script, and time is a
// virtual clock that only moves when something sleeps.
//
// Transcript entries:
//   move(x,y) down(L) up(L) down(R) up(R) type(<utf8>)
//   sleep(<ms>) pump proxy(<utf8>,<0|1>) clearCache run(<path>)
//   hotkey(<id>,<key>,<mods>) unhotkey(<id>)
//   notice(<kind>,<utf8>) ask(<caption>|<prompt>|<initial>)
class FakePlatform final : public Input,
                           public Pointer,
                           public HotKeys,
                           public System,
                           public Dialogs,
                           public Clock {
public:
    FakePlatform();
    ~FakePlatform() override;
    // Installs this object as the backend of dev, sf, net, Notice, AskValue.
    void install();

    // --- what happened ---
    const std::vector<std::string>& transcript() const { return m_transcript; }
    // The transcript with runs of sleep and pump folded into wait(<ms>).
    std::vector<std::string> actions() const;
    // One string of actions() joined by blanks, for compact assertions.
    std::string actionLine() const;
    void clearTranscript() { m_transcript.clear(); }

    struct Shown {
        enum class What { Notice, Ask } what;
        int kind = 0;        // notice kind
        std::string text;    // notice text or ask prompt
        std::string caption; // ask caption
        std::string initial; // ask initial value
    };
    const std::vector<Shown>& shown() const { return m_shown; }

    // --- dialog script; unscripted notices answer false, asks cancel ---
    void answerNotice(bool yes) { m_noticeAnswers.push_back(yes); }
    void answerAsk(std::optional<std::string> answer) { m_askAnswers.push_back(std::move(answer)); }
    // Runs while a dialog is open, as the real dialogs' own event loops do.
    void onDialog(std::function<void()> fn) { m_onDialog = std::move(fn); }

    // --- virtual clock ---
    std::int64_t nowMs() const;
    // fn runs at the first event pass at or after the given virtual time.
    void at(std::int64_t ms, std::function<void()> fn);
    // fn runs at every event pass.
    void onPump(std::function<void()> fn) { m_onPump = std::move(fn); }

    // --- pointer script ---
    void setScreen(Rect primary) { m_screen = primary; }
    void setCursor(Point p) { m_cursor = p; }
    void press(MouseButton b, Point p, bool ownWindow = false);
    void setOwnWindowAt(std::function<bool(Point)> fn) { m_ownAt = std::move(fn); }
    bool sampling() const { return m_sampling; }

    // --- hot keys ---
    void refuseHotKey(int systemId) { m_refused.insert(systemId); }
    const std::map<int, std::pair<unsigned, unsigned>>& hotKeys() const { return m_hotKeys; }
    void fireHotKey(int systemId);

    // --- system ---
    void failProxyWith(std::optional<std::string> valueName) {
        m_proxyFailure = std::move(valueName);
    }
    void setExecutablePath(std::string p) { m_exePath = std::move(p); }
    void setSkippedPerText(int n) { m_skipped = n; }

    // Input
    void moveTo(std::int32_t nx, std::int32_t ny) override;
    void button(MouseButton button, bool down) override;
    TypeReport typeText(std::string_view text) override;
    // Pointer
    void startSampling() override;
    void stopSampling() override;
    std::vector<Press> takePresses() override;
    Point cursorPos() override { return m_cursor; }
    Rect primaryScreen() override { return m_screen; }
    bool isOwnWindowAt(Point p) override { return m_ownAt ? m_ownAt(p) : false; }
    const char* degradedReason() const override { return m_degraded; }
    void setSamplingDegraded(const char* whyUtf8) { m_degraded = whyUtf8; }
    const char* cannotRecordReason() const override { return m_cannotRecord; }
    void setCannotRecord(const char* whyUtf8) { m_cannotRecord = whyUtf8; }
    // HotKeys
    bool registerHotKey(int systemId, unsigned keyCode, unsigned modifiers) override;
    void unregisterHotKey(int systemId) override;
    void setHandler(std::function<void(int)> handler) override {
        m_hotKeyHandler = std::move(handler);
    }
    // System
    void setProxy(std::string_view proxy, bool enable) override;
    void clearCache() override;
    void runProgram(const std::filesystem::path& path) override;
    std::string executablePath() override { return m_exePath; }
    // Dialogs
    bool notice(std::string_view text, int kind, const void* owner) override;
    std::optional<std::string> askValue(std::string_view initial, std::string_view prompt,
                                        std::string_view caption) override;
    // Clock
    std::chrono::nanoseconds now() override { return m_now; }
    void sleepFor(std::chrono::nanoseconds d) override;
    void processEvents() override;

private:
    std::vector<std::string> m_transcript;
    std::vector<Shown> m_shown;
    std::deque<bool> m_noticeAnswers;
    std::deque<std::optional<std::string>> m_askAnswers;
    std::function<void()> m_onDialog;
    std::chrono::nanoseconds m_now{0};
    std::multimap<std::int64_t, std::function<void()>> m_timed;
    std::function<void()> m_onPump;
    Rect m_screen{0, 0, 1920, 1080};
    Point m_cursor;
    std::vector<Press> m_presses;
    const char* m_degraded = nullptr;
    const char* m_cannotRecord = nullptr;
    std::function<bool(Point)> m_ownAt;
    bool m_sampling = false;
    std::set<int> m_refused;
    std::map<int, std::pair<unsigned, unsigned>> m_hotKeys;
    std::function<void(int)> m_hotKeyHandler;
    std::optional<std::string> m_proxyFailure;
    std::string m_exePath = "/opt/pressmark/pressmark";
    int m_skipped = 0;
};

} // namespace pressmark::platform
