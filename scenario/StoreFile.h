#pragma once

// The few file-system operations the profile store needs, kept apart from its
// INI logic so that each system gets the cheapest correct variant: on Linux
// the store learns of changes from inotify instead of a stat per read (a
// stat costs about a microsecond there, and a playback makes 70000 reads).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace pressmark::storefile {

// What tells one version of a file from another without reading it.
struct Identity {
    bool exists = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t mtimeSec = 0;
    std::int64_t mtimeNsec = 0;
    bool operator==(const Identity&) const = default;
};

// exists is false when the path cannot be examined at all.
Identity identityOf(const std::filesystem::path& file);

struct Contents {
    Identity identity;
    std::string bytes;
    // False when something is there but could not be read whole (a folder,
    // a file larger than the limit, a read error): it reads as empty, and a
    // write must not replace it.
    bool readable = true;
};
Contents readFile(const std::filesystem::path& file, std::size_t limit);

struct Replaced {
    Identity identity;    // of the new file, taken from the written handle
    std::string tempName; // the temporary file's name within the folder
};
// Writes bytes to a temporary file in the file's folder and renames it over
// the file (over a symbolic link's target, keeping the link). Keeps an
// existing file's permissions. Throws AppError "Unable to write to %s" and
// removes the temporary file when any step fails; the old file is untouched.
// Where the system allows, the new contents are on the disk before the
// rename and the rename is on the disk when this returns.
Replaced replaceFile(const std::filesystem::path& file, std::string_view bytes);

// How many bytes an append may span and still reach the file whole or not at
// all, whenever the writer is killed: a block of at most this size that does
// not cross a multiple of it. 0 where no append is that safe. `watched`
// tells whether the file's ChangeWatch is armed: where the system has a
// watch, only a watched file (a local file system, no link) is appended to.
std::size_t atomicAppendUnit(bool watched);
// Appends bytes to the end of the file with one write, when the file is still
// the version `expected`; nullopt, having written nothing, when it is not.
// Throws AppError "Unable to write to %s" when the write fails, after cutting
// the file back to its old size.
std::optional<Identity> appendFile(const std::filesystem::path& file, const Identity& expected,
                                   std::string_view bytes);

// Puts the bytes appended to the file on the disk (appendFile does not wait
// for that); false when the system says it could not.
bool syncFile(const std::filesystem::path& file);
// Puts the folder's entries on the disk (a file removed there), where the
// system has a way to.
void syncFolder(const std::filesystem::path& dir);

// Removes the temporary files that a writer of this file killed before its
// rename left in the folder: those named as replaceFile names them, that no
// live writer holds and that have not changed for a while.
void removeStaleTemps(const std::filesystem::path& file);

// Tells whether anything may have changed a file since it was armed. Where
// it cannot be armed (no support, a remote file system, a link) the store
// compares identities instead.
class ChangeWatch {
public:
    ChangeWatch() = default;
    ~ChangeWatch();
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // Starts (or restarts) watching; forgets every earlier event. Call it
    // before reading the file, so that a change during the read is seen.
    bool arm(const std::filesystem::path& file);
    bool armed() const { return m_dirWatch >= 0; }
    // False when an event may concern the file since arm().
    bool quiet();
    // Consumes the events our own replaceFile caused; any other event on the
    // file leaves the watch unquiet.
    void ownReplaceDone(const std::filesystem::path& file, std::string_view tempName);
    // Consumes the events our own appendFile caused; the watch stays quiet
    // only when the file is still the version the append made.
    void ownAppendDone(const std::filesystem::path& file, const Identity& appended);

    // One event of the process-wide notification queue, given to every watch.
    void handle(int watch, std::uint32_t mask, std::uint32_t cookie, std::string_view name);

private:
    void release();

    int m_dirWatch = -1;
    int m_fileWatch = -1;
    std::string m_name;
    bool m_dirty = false;
    bool m_registered = false;
    // While our own replacement's events are consumed:
    bool m_ownReplace = false;
    std::string_view m_ownTemp;
    std::uint32_t m_ownCookie = 0;
    bool m_ownMoveSeen = false;
    bool m_ownAppend = false;
};

} // namespace pressmark::storefile
