#include "SystemWin32.h"

#include "base/win32/WideText.h"

#include "base/AppError.h"

#include <windows.h>
#include <shellapi.h>
#include <wininet.h>

#include <vector>

namespace pressmark::platform::win32 {

using pressmark::win32::narrowUtf8;
using pressmark::win32::widenUtf8;
namespace {

class RegKey {
public:
    explicit RegKey(HKEY key) : m_key(key) {}
    ~RegKey() {
        if (m_key) {
            RegCloseKey(m_key);
        }
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    HKEY get() const { return m_key; }

private:
    HKEY m_key;
};

bool deleteEntry(const std::vector<unsigned char>& record) {
    const auto* entry = reinterpret_cast<const INTERNET_CACHE_ENTRY_INFOA*>(record.data());
    return entry->lpszSourceUrlName && DeleteUrlCacheEntryA(entry->lpszSourceUrlName);
}

} // namespace

SystemWin32::SystemWin32(std::wstring settingsKey) : m_settingsKey(std::move(settingsKey)) {}

void SystemWin32::setProxy(std::string_view proxy, bool enable) {
    HKEY opened = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, m_settingsKey.c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &opened,
                        nullptr) != ERROR_SUCCESS) {
        opened = nullptr;
    }
    const RegKey key(opened);

    const std::wstring server = widenUtf8(proxy);
    const DWORD serverBytes = static_cast<DWORD>((server.size() + 1) * sizeof(wchar_t));
    if (!key.get() || RegSetValueExW(key.get(), L"ProxyServer", 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(server.c_str()),
                                     serverBytes) != ERROR_SUCCESS) {
        throw proxyDataError("ProxyServer");
    }

    DWORD type = 0;
    const bool exists = RegQueryValueExW(key.get(), L"ProxyEnable", nullptr, &type, nullptr,
                                         nullptr) == ERROR_SUCCESS;
    LSTATUS written;
    if (exists && type == REG_BINARY) {
        const BYTE bytes[4] = {static_cast<BYTE>(enable ? 1 : 0), 0, 0, 0};
        written = RegSetValueExW(key.get(), L"ProxyEnable", 0, REG_BINARY, bytes, sizeof bytes);
    } else {
        const DWORD value = enable ? 1 : 0;
        written = RegSetValueExW(key.get(), L"ProxyEnable", 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&value), sizeof value);
    }
    if (written != ERROR_SUCCESS) {
        throw proxyDataError("ProxyEnable");
    }
}

void SystemWin32::clearCache() {
    PurgeReport report;
    // The first call only learns the size of the first entry's record.
    DWORD size = 0;
    FindFirstUrlCacheEntryA(nullptr, nullptr, &size);
    HANDLE enumeration = nullptr;
    {
        std::vector<unsigned char> record(size);
        auto* info = size ? reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(record.data()) : nullptr;
        enumeration = FindFirstUrlCacheEntryA(nullptr, info, &size);
        if (enumeration && info && deleteEntry(record)) {
            ++report.deleted;
        }
    }
    if (!enumeration) {
        // An empty cache (or none at all) gives no handle, and a size query
        // on a null handle is not safe everywhere: Wine dereferences it.
        report.endError = GetLastError();
        m_lastPurge = report;
        return;
    }
    for (;;) {
        ++report.passes;
        size = 0;
        SetLastError(ERROR_SUCCESS);
        FindNextUrlCacheEntryA(enumeration, nullptr, &size);
        const DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER) {
            report.endError = error;
            break;
        }
        std::vector<unsigned char> record(size);
        if (size == 0 ||
            !FindNextUrlCacheEntryA(
                enumeration, reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(record.data()), &size)) {
            // The enumeration did not move on; asking again would loop forever.
            report.endError = GetLastError();
            break;
        }
        if (deleteEntry(record)) {
            ++report.deleted;
        }
    }
    FindCloseUrlCache(enumeration);
    m_lastPurge = report;
}

void SystemWin32::runProgram(const std::filesystem::path& path) {
    ShellExecuteW(nullptr, L"open", path.wstring().c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

std::string SystemWin32::executablePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            return {};
        }
        if (n < buffer.size()) {
            buffer.resize(n);
            return narrowUtf8(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace pressmark::platform::win32
