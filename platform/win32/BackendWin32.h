#pragma once

#include "ClockWin32.h"
#include "DialogsWin32.h"
#include "HotKeysWin32.h"
#include "InputWin32.h"
#include "PointerWin32.h"
#include "SystemWin32.h"

#include <memory>

namespace pressmark::platform::win32 {

// The six Win32 capabilities in one object. Create it on the thread that
// runs the message loop: the hot-key window belongs to that thread.
class BackendWin32 {
public:
    BackendWin32() { m_input.setPointer(&m_pointer); }
    Backend backend();
    // Makes this object the backend of dev, sf, net, Notice and AskValue.
    void install();

    InputWin32& input() { return m_input; }
    PointerWin32& pointer() { return m_pointer; }
    HotKeysWin32& hotKeys() { return m_hotKeys; }
    SystemWin32& system() { return m_system; }
    DialogsWin32& dialogs() { return m_dialogs; }
    ClockWin32& clock() { return m_clock; }

private:
    InputWin32 m_input;
    PointerWin32 m_pointer;
    HotKeysWin32 m_hotKeys;
    SystemWin32 m_system;
    DialogsWin32 m_dialogs;
    ClockWin32 m_clock;
};

std::unique_ptr<BackendWin32> makeBackend();

} // namespace pressmark::platform::win32
