#include "Win32TestSupport.h"

#include "platform/Platform.h"
#include "platform/win32/BackendWin32.h"
#include "base/win32/WideText.h"
#include "base/AppError.h"

#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace pressmark {
namespace {

using platform::win32::BackendWin32;
using platform::win32::SystemWin32;

const wchar_t* const kSettings = SystemWin32::InternetSettingsKey;

struct RegValue {
    DWORD type = 0;
    std::vector<BYTE> data;
};

std::optional<RegValue> readValue(const wchar_t* key, const wchar_t* name) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &k) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    RegValue v;
    DWORD size = 0;
    LSTATUS s = RegQueryValueExW(k, name, nullptr, &v.type, nullptr, &size);
    if (s == ERROR_SUCCESS) {
        v.data.resize(size);
        s = RegQueryValueExW(k, name, nullptr, &v.type, v.data.data(), &size);
    }
    RegCloseKey(k);
    if (s != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return v;
}

std::wstring asText(const RegValue& v) {
    return std::wstring(reinterpret_cast<const wchar_t*>(v.data.data()),
                        v.data.size() / sizeof(wchar_t));
}

void writeValue(const wchar_t* name, DWORD type, std::vector<BYTE> data) {
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kSettings, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &k, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(k, name, 0, type, data.data(), static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    RegCloseKey(k);
}

void deleteValue(const wchar_t* name) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettings, 0, KEY_ALL_ACCESS, &k) == ERROR_SUCCESS) {
        RegDeleteValueW(k, name);
        RegCloseKey(k);
    }
}

class SystemWin32Test : public ::testing::Test {
protected:
    void SetUp() override { backend.install(); }
    BackendWin32 backend;
};

struct ProxyCase {
    const char* name;
    std::optional<RegValue> before; // ProxyEnable before the call; nullopt: missing
    const char* proxyUtf8;
    bool enable;
    RegValue after;
};

TEST_F(SystemWin32Test, SetProxyWritesServerThenEnableKeepingItsType) {
    const std::vector<ProxyCase> cases = {
        {"missing", std::nullopt, "proxy.local:3128", true, {REG_DWORD, {1, 0, 0, 0}}},
        {"dword 0",
         RegValue{REG_DWORD, {0, 0, 0, 0}},
         "10.0.0.1:8080",
         true,
         {REG_DWORD, {1, 0, 0, 0}}},
        {"dword 1, off",
         RegValue{REG_DWORD, {1, 0, 0, 0}},
         "10.0.0.1:8080",
         false,
         {REG_DWORD, {0, 0, 0, 0}}},
        {"binary",
         RegValue{REG_BINARY, {0, 0, 0, 0}},
         "http=p:80;https=p:443",
         true,
         {REG_BINARY, {1, 0, 0, 0}}},
        {"binary, off", RegValue{REG_BINARY, {1}}, "p:80", false, {REG_BINARY, {0, 0, 0, 0}}},
        {"string", RegValue{REG_SZ, {'1', 0, 0, 0}}, "p:80", true, {REG_DWORD, {1, 0, 0, 0}}},
        {"cyrillic", std::nullopt, "прокси.рф:8080", true, {REG_DWORD, {1, 0, 0, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        deleteValue(L"ProxyEnable");
        if (c.before) {
            writeValue(L"ProxyEnable", c.before->type, c.before->data);
        }
        net::SetProxy(c.proxyUtf8, c.enable);

        const auto server = readValue(kSettings, L"ProxyServer");
        ASSERT_TRUE(server);
        EXPECT_EQ(server->type, static_cast<DWORD>(REG_SZ));
        const std::wstring text = win32::widenUtf8(c.proxyUtf8);
        // The text and its terminating zero, as wide characters.
        EXPECT_EQ(asText(*server), text + L'\0');
        const auto enable = readValue(kSettings, L"ProxyEnable");
        ASSERT_TRUE(enable);
        EXPECT_EQ(enable->type, c.after.type);
        EXPECT_EQ(enable->data, c.after.data);
    }
}

TEST_F(SystemWin32Test, SetProxyTwiceLeavesTheSecondText) {
    net::SetProxy("first:1", true);
    net::SetProxy("second.example:2", true);
    const auto server = readValue(kSettings, L"ProxyServer");
    ASSERT_TRUE(server);
    EXPECT_EQ(asText(*server), std::wstring(L"second.example:2") + L'\0');
}

TEST_F(SystemWin32Test, SetProxyOnAKeyThatCannotBeOpenedFailsOnProxyServer) {
    // A volatile key cannot hold the non-volatile key the proxy values go in.
    HKEY volatileKey = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\PressmarkVolatileTest", 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &volatileKey, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(volatileKey);
    SystemWin32 system(L"Software\\PressmarkVolatileTest\\Settings");
    try {
        system.setProxy("p:80", true);
        ADD_FAILURE() << "no error raised";
    } catch (const AppError& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for 'ProxyServer'");
    }
    EXPECT_FALSE(readValue(L"Software\\PressmarkVolatileTest\\Settings", L"ProxyEnable"));
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\PressmarkVolatileTest");
}

// Puts n entries of our own into the URL cache and returns their URLs.
std::vector<std::string> fillCache(int n) {
    std::vector<std::string> urls;
    for (int i = 0; i < n; ++i) {
        const std::string url = "http://pressmark.test/entry/" + std::to_string(i);
        char file[MAX_PATH] = {};
        if (!CreateUrlCacheEntryA(url.c_str(), 0, "txt", file, 0)) {
            ADD_FAILURE() << "CreateUrlCacheEntry " << GetLastError();
            continue;
        }
        std::ofstream(file) << "cached " << i;
        FILETIME never{};
        if (!CommitUrlCacheEntryA(url.c_str(), file, never, never, NORMAL_CACHE_ENTRY, nullptr, 0,
                                  nullptr, nullptr)) {
            ADD_FAILURE() << "CommitUrlCacheEntry " << GetLastError();
            continue;
        }
        urls.push_back(url);
    }
    return urls;
}

int cachedCount() {
    int n = 0;
    DWORD size = 0;
    FindFirstUrlCacheEntryA(nullptr, nullptr, &size);
    std::vector<unsigned char> record(size ? size : 1);
    HANDLE h = FindFirstUrlCacheEntryA(
        nullptr, reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(record.data()), &size);
    if (!h) {
        return 0;
    }
    for (;;) {
        ++n;
        size = static_cast<DWORD>(record.size());
        if (!FindNextUrlCacheEntryA(h, reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(record.data()),
                                    &size)) {
            if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
                break;
            }
            record.resize(size);
            if (!FindNextUrlCacheEntryA(
                    h, reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(record.data()), &size)) {
                break;
            }
        }
    }
    FindCloseUrlCache(h);
    return n;
}

TEST_F(SystemWin32Test, ClearCacheDeletesEveryEntryAndEnds) {
    for (int n : {0, 3, 300}) {
        SCOPED_TRACE(n);
        net::ClearCache(); // from empty, whatever earlier tests left
        ASSERT_EQ(cachedCount(), 0);
        const auto urls = fillCache(n);
        ASSERT_EQ(static_cast<int>(urls.size()), n);
        ASSERT_EQ(cachedCount(), n);

        net::ClearCache();
        const auto& report = backend.system().lastPurge();
        EXPECT_EQ(cachedCount(), 0);
        EXPECT_EQ(report.deleted, n);
        for (const auto& url : urls) {
            DWORD size = 0;
            EXPECT_FALSE(GetUrlCacheEntryInfoA(url.c_str(), nullptr, &size) ||
                         GetLastError() == ERROR_INSUFFICIENT_BUFFER)
                << url << " is still cached";
        }
        // An empty cache ends before the loop; otherwise one pass per entry
        // after the first and a last one that finds nothing more.
        EXPECT_EQ(report.passes, n);
        EXPECT_NE(report.endError, static_cast<unsigned long>(ERROR_INSUFFICIENT_BUFFER));
    }
}

TEST_F(SystemWin32Test, AppDirIsTheExecutablesFolderWithABackslash) {
    const std::string dir = sf::AppDir();
    EXPECT_EQ(dir, win32::narrowUtf8(win32test::exeDir()));
    EXPECT_EQ(dir.back(), '\\');
}

// Runs the target program from another folder and reads what sf::AppDir
// said there.
std::string appDirOfCopyIn(const std::wstring& folder) {
    const std::wstring exe = folder + L"pressmark_appdir.exe";
    if (!CopyFileW((win32test::exeDir() + L"pressmark_win32_target.exe").c_str(), exe.c_str(),
                   FALSE)) {
        ADD_FAILURE() << "copy to " << win32::narrowUtf8(exe) << ": " << GetLastError();
        return {};
    }
    const std::wstring out = win32test::tempFile(L"appdir");
    std::wstring command = L"\"" + exe + L"\" --appdir \"" + out + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string dir;
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                       &pi)) {
        WaitForSingleObject(pi.hProcess, 20000);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        std::ifstream in(out.c_str(), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        dir = text.str();
    }
    DeleteFileW(out.c_str());
    DeleteFileW(exe.c_str());
    return dir;
}

TEST_F(SystemWin32Test, AppDirOfAProgramInADriveRootEndsInTwoBackslashes) {
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring root = std::wstring(windows).substr(0, 3); // "C:\"
    EXPECT_EQ(appDirOfCopyIn(root), win32::narrowUtf8(root) + "\\");
    // And a folder with Cyrillic in its name comes back as UTF-8.
    const std::wstring folder = root + L"\u041f\u0430\u043f\u043a\u0430\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    EXPECT_EQ(appDirOfCopyIn(folder), win32::narrowUtf8(root) + "Папка\\");
    RemoveDirectoryW(folder.c_str());
}

TEST_F(SystemWin32Test, RunProgramOpensTheFileThroughTheShell) {
    // A batch file is not a program: the shell's "open" runs it with the
    // command interpreter, which leaves a file behind.
    const std::wstring marker = win32test::tempFile(L"opened");
    const std::wstring script = win32test::tempFile(L"script") + L".cmd";
    std::ofstream(script.c_str()) << "@echo opened> \"" << win32::narrowUtf8(marker) << "\"\r\n";
    sf::RunProgram(std::filesystem::path(script));
    EXPECT_TRUE(win32test::pumpUntil(
        [&] { return GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES; },
        std::chrono::seconds(20)));
    win32test::pump(std::chrono::milliseconds(200));
    DeleteFileW(marker.c_str());
    DeleteFileW(script.c_str());
}

} // namespace
} // namespace pressmark
