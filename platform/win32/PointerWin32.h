#pragma once

#include "platform/Backend.h"

#include <cstdint>
#include <vector>

namespace pressmark::platform::win32 {

// What the recorder samples. Polling the buttons misses a click pressed and
// released between two ticks, so while sampling a low-level mouse hook
// (WH_MOUSE_LL) queues every button press as it happens, with the point the
// system gives for it and the owner of the window under that point decided
// then; the next tick takes the queue.
//
// The hook is called on the thread that installed it, while that thread
// retrieves messages: start sampling on the user-interface thread, which runs
// the message loop, and call takePresses and stopSampling there too. The
// queue is then never touched by two threads, and needs no lock.
//
// Only one instance hooks at a time (the hook procedure finds it through a
// static pointer). When the hook cannot be had, because another instance
// holds it or the system refuses it, the instance samples GetKeyState on
// every tick instead, as before the hook: a held button is one press, and a
// click between two ticks is not seen. degradedReason() says so.
class PointerWin32 final : public Pointer {
public:
    PointerWin32() = default;
    ~PointerWin32() override;
    PointerWin32(const PointerWin32&) = delete;
    PointerWin32& operator=(const PointerWin32&) = delete;

    void startSampling() override;
    void stopSampling() override;
    // Hooked: every press queued since the last call, in order. Otherwise one
    // sample: at most one press per button, left first, at the cursor, with
    // the owner of the window under it decided now.
    std::vector<Press> takePresses() override;
    Point cursorPos() override;
    // The primary monitor: at the origin, GetSystemMetrics' screen size.
    Rect primaryScreen() override;
    // Whether the window at p belongs to this process (by process id).
    bool isOwnWindowAt(Point p) override;

    // While sampling without the hook, why presses may be lost (UTF-8, for
    // the window to show); nullptr otherwise.
    const char* degradedReason() const override;
    bool sampling() const { return m_sampling; }
    // The top-level window (an HWND) of the last press outside our windows
    // since sampling started; null before the first.
    void* lastForeignWindow() const { return m_lastForeign; }

private:
    // The hook procedure, a HOOKPROC.
    static std::intptr_t __stdcall hookProc(int code, std::uintptr_t message, std::intptr_t data);
    bool hook();
    void unhook();
    void rehookIfLost();
    std::vector<Press> samplePresses();
    // Whether the window at p is ours; notes the top-level window of one
    // that is not.
    bool noteWindowAt(Point p);

    bool m_sampling = false;
    void* m_hook = nullptr; // the HHOOK
    std::vector<Press> m_queue;
    void* m_lastForeign = nullptr;
    // The buttons the hook last saw down (bit 0 left, bit 1 right), and the
    // tick count since which the buttons' state has disagreed (0: it agrees).
    unsigned m_buttonsSeen = 0;
    std::uint64_t m_disagreeSince = 0;
    // The fallback's last GetKeyState values: their low bit flips with every
    // press, so a value that is down and differs from the last one is a new
    // press.
    short m_lastLeft = 0;
    short m_lastRight = 0;
};

} // namespace pressmark::platform::win32
