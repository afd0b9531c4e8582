#pragma once

#include "platform/Backend.h"

#include <string>

namespace pressmark::platform::win32 {

// The per-user proxy of the system's web engine, its URL cache, the shell.
class SystemWin32 final : public System {
public:
    static constexpr const wchar_t* InternetSettingsKey =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

    // settingsKey: the key under HKEY_CURRENT_USER that holds ProxyServer and
    // ProxyEnable; only tests pass another.
    explicit SystemWin32(std::wstring settingsKey = InternetSettingsKey);

    // ProxyServer (REG_SZ, written wide so that Cyrillic survives any ANSI
    // code page), then ProxyEnable: REG_BINARY 01 00 00 00 / 00 00 00 00
    // when it already exists with that type, REG_DWORD 1 / 0 otherwise.
    // Throws proxyDataError naming the value that could not be written; a
    // key that cannot be opened fails on ProxyServer.
    void setProxy(std::string_view proxy, bool enable) override;
    // Enumerates the URL cache without a pattern and deletes every entry.
    // The loop goes on only while the size query asks for a buffer (122),
    // so it ends on 259, 87 and any other error; an empty cache yields no
    // enumeration handle and ends at once, without a loop.
    void clearCache() override;
    // ShellExecute "open", shown normally; the result is not examined.
    void runProgram(const std::filesystem::path& path) override;
    // GetModuleFileNameW as UTF-8.
    std::string executablePath() override;

    // What the last clearCache did, for tests and diagnostics.
    struct PurgeReport {
        int deleted = 0;
        int passes = 0;
        unsigned long endError = 0; // the size query's error that ended the loop
    };
    const PurgeReport& lastPurge() const { return m_lastPurge; }

private:
    std::wstring m_settingsKey;
    PurgeReport m_lastPurge;
};

} // namespace pressmark::platform::win32
