// The store's file operations on Windows: the same rules as on Linux, with
// the system's own calls. A new step is appended in place with one write; any
// other change goes to a temporary file that is flushed to the disk and then
// moved over the file with a write-through rename. No change notification:
// every read compares the file's size and last write time, which one call
// gives without opening the file.

#include "StoreFile.h"
#include "TempNames.h"

#include "base/AppError.h"
#include "ScenarioFolder.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <random>

namespace pressmark::storefile {
namespace {

namespace fs = std::filesystem;

// A handle closed whatever leaves the scope.
class Handle {
public:
    explicit Handle(HANDLE h) : m_h(h) {}
    ~Handle() { close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return m_h != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_h; }
    bool close() {
        const bool ok = !valid() || CloseHandle(m_h) != 0;
        m_h = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE m_h;
};

std::uint64_t ticksOf(FILETIME t) {
    return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// Size and last write time: what both the path and a handle tell alike, so
// that the two compare. The file's index is left out (the path alone does not
// give it); another program's replacement shows in the time.
Identity identityFrom(DWORD sizeHigh, DWORD sizeLow, FILETIME written) {
    const std::uint64_t ticks = ticksOf(written); // 100 ns since 1601
    return Identity{true,
                    0,
                    0,
                    (static_cast<std::uint64_t>(sizeHigh) << 32) | sizeLow,
                    static_cast<std::int64_t>(ticks / 10000000),
                    static_cast<std::int64_t>(ticks % 10000000) * 100};
}

bool identityOfHandle(HANDLE h, Identity& id, bool& regular) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info)) {
        return false;
    }
    regular = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    id = identityFrom(info.nFileSizeHigh, info.nFileSizeLow, info.ftLastWriteTime);
    return true;
}

// The last write time set through the handle now, so that closing it does
// not set it again later (NTFS sets it at the close of a handle that wrote,
// unless the writer set it): the identity read from the handle is then the
// one the file keeps.
bool stampAndIdentify(HANDLE h, Identity& id) {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    bool regular = false;
    return SetFileTime(h, nullptr, nullptr, &now) && identityOfHandle(h, id, regular);
}

bool writeAll(HANDLE h, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD n = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1U << 30));
        if (!WriteFile(h, bytes.data(), chunk, &n, nullptr) || n == 0) {
            return false;
        }
        bytes.remove_prefix(n);
    }
    return true;
}

fs::path folderOf(const fs::path& file) {
    fs::path dir = file.parent_path();
    return dir.empty() ? fs::path(".") : dir;
}

// The file a write replaces: a symbolic link's target, so that the link stays.
bool resolveTarget(const fs::path& file, fs::path& target) {
    std::error_code ec;
    target = file;
    if (fs::is_symlink(file, ec)) {
        target = fs::weakly_canonical(file, ec);
        return !ec;
    }
    return true;
}

// A temporary file that has not changed for this long is no live writer's:
// one writes and renames it in well under a second. (A file a live writer
// has open cannot be removed here anyway.)
constexpr auto kStaleAfter = std::chrono::seconds(10);

std::string randomHex() {
    static std::mt19937_64 rng{
        (static_cast<std::uint64_t>(std::random_device{}()) << 32) ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())};
    static std::atomic<unsigned> counter{0};
    std::uint64_t bits = rng() ^ counter.fetch_add(1);
    return hex64(bits);
}

} // namespace

Identity identityOf(const std::filesystem::path& file) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) {
        return {};
    }
    return identityFrom(data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime);
}

Contents readFile(const std::filesystem::path& file, std::size_t limit) {
    Contents c;
    Handle h(CreateFileW(file.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.valid()) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            // A folder, a file held without sharing, no permission.
            c.identity = identityOf(file);
            c.readable = !c.identity.exists;
        }
        return c;
    }
    bool regular = false;
    if (!identityOfHandle(h.get(), c.identity, regular) || !regular || c.identity.size > limit) {
        c.readable = false;
        return c;
    }
    c.bytes.resize(static_cast<std::size_t>(c.identity.size) + 1);
    std::size_t used = 0;
    for (;;) {
        if (used == c.bytes.size()) {
            if (c.bytes.size() > limit) {
                c.readable = false;
                break;
            }
            c.bytes.resize(std::min(limit + 1, c.bytes.size() * 2 + 4096));
        }
        DWORD n = 0;
        const auto want =
            static_cast<DWORD>(std::min<std::size_t>(c.bytes.size() - used, 1U << 30));
        if (!ReadFile(h.get(), c.bytes.data() + used, want, &n, nullptr)) {
            c.readable = false;
            break;
        }
        if (n == 0) {
            break;
        }
        used += n;
    }
    if (!c.readable) {
        c.bytes.clear();
    } else {
        c.bytes.resize(used);
    }
    return c;
}

Replaced replaceFile(const std::filesystem::path& file, std::string_view bytes) {
    const auto fail = [&file] { return writeError(pathToUtf8(file)); };
    fs::path target;
    if (!resolveTarget(file, target)) {
        throw fail();
    }
    const DWORD oldAttributes = GetFileAttributesW(target.c_str());
    if (oldAttributes != INVALID_FILE_ATTRIBUTES &&
        (oldAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        throw fail();
    }

    const fs::path dir = folderOf(target);
    const std::string prefix =
        tempPrefix(pathToUtf8(target.filename())) + std::to_string(GetCurrentProcessId()) + "-";
    Replaced result;
    fs::path temp;
    HANDLE created = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 8 && created == INVALID_HANDLE_VALUE; ++attempt) {
        result.tempName = prefix + randomHex();
        temp = dir / pathFromUtf8(result.tempName);
        created = CreateFileW(temp.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    Handle h(created);
    if (!h.valid()) {
        throw fail();
    }
    // The contents reach the disk before the rename can: after a power cut
    // the file is the old one or the new one, never an empty one.
    bool ok = writeAll(h.get(), bytes) && FlushFileBuffers(h.get()) &&
              stampAndIdentify(h.get(), result.identity);
    ok = h.close() && ok;
    // Write-through: the rename is on the disk when this returns.
    ok = ok && MoveFileExW(temp.c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) {
        DeleteFileW(temp.c_str());
        throw fail();
    }
    return result;
}

std::size_t atomicAppendUnit(bool) {
    // WriteFile copies a block into the system cache inside one call, which
    // TerminateProcess does not cut short; a block within one page lands
    // whole or not at all. (Under Wine the call is one write() of Linux,
    // whose rule is the same.)
    static const std::size_t page = [] {
        SYSTEM_INFO info{};
        GetSystemInfo(&info);
        return info.dwPageSize > 0 ? static_cast<std::size_t>(info.dwPageSize) : std::size_t{4096};
    }();
    return page;
}

std::optional<Identity> appendFile(const std::filesystem::path& file, const Identity& expected,
                                   std::string_view bytes) {
    // No other writer while we append; readers go on.
    Handle h(CreateFileW(file.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.valid()) {
        // A file that cannot be opened for writing may still be replaced;
        // that is the caller's way.
        return std::nullopt;
    }
    Identity now;
    bool regular = false;
    if (!identityOfHandle(h.get(), now, regular) || !regular || now != expected) {
        return std::nullopt;
    }
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(expected.size);
    DWORD n = 0;
    const bool written =
        SetFilePointerEx(h.get(), end, nullptr, FILE_BEGIN) &&
        WriteFile(h.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) &&
        n == bytes.size();
    Identity appended;
    if (!written || !stampAndIdentify(h.get(), appended)) {
        if (n > 0) {
            SetFilePointerEx(h.get(), end, nullptr, FILE_BEGIN);
            SetEndOfFile(h.get());
        }
        throw writeError(pathToUtf8(file));
    }
    if (!h.close()) {
        throw writeError(pathToUtf8(file));
    }
    return appended;
}

bool syncFile(const std::filesystem::path& file) {
    Handle h(CreateFileW(file.c_str(), GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return h.valid() && FlushFileBuffers(h.get());
}

void syncFolder(const std::filesystem::path&) {
    // Windows has no call that syncs a folder's entries for a program
    // without administrator rights; NTFS logs them in its journal.
}

void removeStaleTemps(const std::filesystem::path& file) {
    fs::path target;
    if (!resolveTarget(file, target)) {
        return;
    }
    const std::string prefix = tempPrefix(pathToUtf8(target.filename()));
    const auto now = fs::file_time_type::clock::now();
    std::error_code ec;
    for (fs::directory_iterator it(folderOf(target), ec), end; !ec && it != end; it.increment(ec)) {
        if (!isTempName(pathToUtf8(it->path().filename()), prefix)) {
            continue;
        }
        std::error_code fileEc;
        const auto changed = fs::last_write_time(it->path(), fileEc);
        // A live writer's file is open without sharing: it cannot be removed.
        if (!fileEc && it->is_regular_file(fileEc) && now - changed > kStaleAfter) {
            DeleteFileW(it->path().c_str());
        }
    }
}

} // namespace pressmark::storefile
