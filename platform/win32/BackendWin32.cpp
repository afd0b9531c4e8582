#include "BackendWin32.h"

namespace pressmark::platform::win32 {

Backend BackendWin32::backend() {
    return {&m_input, &m_pointer, &m_hotKeys, &m_system, &m_dialogs, &m_clock};
}

void BackendWin32::install() {
    platform::install(backend());
}

std::unique_ptr<BackendWin32> makeBackend() {
    return std::make_unique<BackendWin32>();
}

} // namespace pressmark::platform::win32
