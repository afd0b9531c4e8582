#include "StoreFile.h"
#include "TempNames.h"

#include "base/AppError.h"
#include "ScenarioFolder.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/random.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

namespace pressmark::storefile {
namespace {

namespace fs = std::filesystem;

Identity identityFrom(const struct stat& st) {
    return Identity{true,
                    static_cast<std::uint64_t>(st.st_dev),
                    static_cast<std::uint64_t>(st.st_ino),
                    static_cast<std::uint64_t>(st.st_size),
                    static_cast<std::int64_t>(st.st_mtim.tv_sec),
                    static_cast<std::int64_t>(st.st_mtim.tv_nsec)};
}

fs::path folderOf(const fs::path& file) {
    fs::path dir = file.parent_path();
    return dir.empty() ? fs::path(".") : dir;
}

// inotify reports only what happens through this kernel: changes made by
// another machine on a network file system would go unseen. Only the local
// file systems below are trusted; elsewhere the store compares identities.
bool localFileSystem(const fs::path& dir) {
    struct statfs st {};
    if (::statfs(dir.c_str(), &st) != 0) {
        return false;
    }
    switch (static_cast<unsigned long>(st.f_type)) {
    case 0xEF53UL:     // ext2, ext3, ext4
    case 0x58465342UL: // xfs
    case 0x9123683EUL: // btrfs
    case 0x01021994UL: // tmpfs
    case 0x858458F6UL: // ramfs
    case 0xF2F52010UL: // f2fs
    case 0x794C7630UL: // overlayfs
    case 0x2FC12FC1UL: // zfs
    case 0x52654973UL: // reiserfs
    case 0x3153464AUL: // jfs
    case 0xCA451A4EUL: // bcachefs
        return true;
    default:
        return false;
    }
}

constexpr std::uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MODIFY | IN_ATTRIB |
                                        IN_CLOSE_WRITE | IN_MOVED_FROM | IN_MOVED_TO |
                                        IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr std::uint32_t kFileEvents =
    IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF | IN_DONT_FOLLOW;

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::atomic<unsigned> g_tempCounter{0};

// A temporary file that nobody has locked may still be a live writer's in
// the instants between creating and locking it, and between closing and
// renaming it; one that has not changed for this long is not.
constexpr std::int64_t kStaleAfterSeconds = 10;

std::string randomHex() {
    std::uint64_t bits = 0;
    if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits)) {
        // Without entropy yet: the clock and a counter still differ from any
        // earlier run's name, and O_EXCL catches the rest.
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        bits = (static_cast<std::uint64_t>(now.tv_sec) << 30) ^
               static_cast<std::uint64_t>(now.tv_nsec) ^
               (static_cast<std::uint64_t>(g_tempCounter.fetch_add(1)) << 52);
    }
    return hex64(bits);
}

// The file a write replaces: a symbolic link's target, so that the link stays.
bool resolveTarget(const fs::path& file, fs::path& target) {
    target = file;
    struct stat st {};
    if (::lstat(file.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        std::error_code ec;
        target = fs::weakly_canonical(file, ec);
        return !ec;
    }
    return true;
}

} // namespace

void syncFolder(const std::filesystem::path& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        // Some file systems cannot sync a folder; the change stands anyway.
        ::fsync(fd);
        ::close(fd);
    }
}

bool syncFile(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::fdatasync(fd) == 0;
    ::close(fd);
    return ok;
}

Identity identityOf(const std::filesystem::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        return {};
    }
    return identityFrom(st);
}

Contents readFile(const std::filesystem::path& file, std::size_t limit) {
    Contents c;
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            c.identity = identityOf(file);
            c.readable = !c.identity.exists;
        }
        return c;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        c.readable = false;
        return c;
    }
    c.identity = identityFrom(st);
    if (!S_ISREG(st.st_mode) || static_cast<std::uint64_t>(st.st_size) > limit) {
        ::close(fd);
        c.readable = false;
        return c;
    }
    // The size is a hint only: files under /proc report 0, and another
    // program may be appending.
    c.bytes.resize(static_cast<std::size_t>(st.st_size) + 1);
    std::size_t used = 0;
    for (;;) {
        if (used == c.bytes.size()) {
            if (c.bytes.size() > limit) {
                c.readable = false;
                break;
            }
            c.bytes.resize(std::min(limit + 1, c.bytes.size() * 2 + 4096));
        }
        const ssize_t n = ::read(fd, c.bytes.data() + used, c.bytes.size() - used);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            c.readable = false;
            break;
        }
        if (n == 0) {
            break;
        }
        used += static_cast<std::size_t>(n);
    }
    ::close(fd);
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
    struct stat old {};
    const bool hadOld = ::stat(target.c_str(), &old) == 0;
    if (hadOld && !S_ISREG(old.st_mode)) {
        throw fail();
    }

    const fs::path dir = folderOf(target);
    std::string prefix = tempPrefix(target.filename().string());
    prefix += std::to_string(::getpid());
    prefix += '-';
    Replaced result;
    fs::path temp;
    int fd = -1;
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        result.tempName = prefix + randomHex();
        temp = dir / result.tempName;
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        throw fail();
    }
    // Held until the file is written and synced: removeStaleTemps leaves a
    // locked temporary file alone.
    ::flock(fd, LOCK_EX | LOCK_NB);
    bool ok = writeAll(fd, bytes);
    if (ok && hadOld) {
        // Best effort: a scenario keeps its permissions and, when root
        // writes it, its owner.
        ::fchmod(fd, old.st_mode & 07777);
        if (::geteuid() == 0 && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
            [[maybe_unused]] const int ignored = ::fchown(fd, old.st_uid, old.st_gid);
        }
    }
    // The contents reach the disk before the rename can: after a power cut
    // the file is the old one or the new one, never an empty one.
    ok = ok && ::fdatasync(fd) == 0;
    struct stat written {};
    ok = ok && ::fstat(fd, &written) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        throw fail();
    }
    syncFolder(dir);
    result.identity = identityFrom(written);
    return result;
}

std::size_t atomicAppendUnit(bool watched) {
    // Only a watched file: a local file system, which copies a write through
    // the page cache as below, and no link to follow.
    if (!watched) {
        return 0;
    }
    // A buffered write is copied into the page cache one page (or larger,
    // aligned folio) at a time, and a fatal signal is only acted on between
    // two of them: a block within one page lands whole or not at all.
    static const std::size_t page = [] {
        const long size = ::sysconf(_SC_PAGESIZE);
        return size > 0 ? static_cast<std::size_t>(size) : std::size_t{4096};
    }();
    return page;
}

std::optional<Identity> appendFile(const std::filesystem::path& file, const Identity& expected,
                                   std::string_view bytes) {
    // O_NONBLOCK: the path may have become a FIFO since it was read.
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        // A file that cannot be opened for writing may still be replaced (a
        // read-only file in a writable folder); that is the caller's way.
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || identityFrom(st) != expected) {
        ::close(fd);
        return std::nullopt;
    }
    ssize_t n = -1;
    do {
        n = ::write(fd, bytes.data(), bytes.size());
    } while (n < 0 && errno == EINTR);
    if (n != static_cast<ssize_t>(bytes.size())) {
        if (n > 0) {
            [[maybe_unused]] const int ignored = ::ftruncate(fd, static_cast<off_t>(expected.size));
        }
        ::close(fd);
        throw writeError(pathToUtf8(file));
    }
    const bool ok = ::fstat(fd, &st) == 0;
    ::close(fd);
    if (!ok) {
        throw writeError(pathToUtf8(file));
    }
    return identityFrom(st);
}

void removeStaleTemps(const std::filesystem::path& file) {
    fs::path target;
    if (!resolveTarget(file, target)) {
        return;
    }
    const fs::path dir = folderOf(target);
    const std::string prefix = tempPrefix(target.filename().string());
    DIR* d = ::opendir(dir.c_str());
    if (!d) {
        return;
    }
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const int dfd = ::dirfd(d);
    while (const dirent* e = ::readdir(d)) {
        if (!isTempName(e->d_name, prefix)) {
            continue;
        }
        const int fd = ::openat(dfd, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        struct stat st {};
        struct stat named {};
        // Age first: a fresh file may be a writer's that has not locked it yet,
        // and our probe lock would then make the writer's own lock fail.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
            now.tv_sec - st.st_mtim.tv_sec > kStaleAfterSeconds &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(dfd, e->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == st.st_dev && named.st_ino == st.st_ino) {
            ::unlinkat(dfd, e->d_name, 0);
        }
        ::close(fd);
    }
    ::closedir(d);
}

namespace {

// One inotify instance for the whole process, never closed: closing one
// waits for the kernel to retire its watches (5 to 15 ms here), which every
// short-lived store would pay. Watches on the same folder or file are shared
// (inotify gives one descriptor per inode), hence the reference counts.
class Notifier {
public:
    static Notifier& instance() {
        static Notifier* const notifier = new Notifier;
        return *notifier;
    }

    std::mutex mutex;

    bool open() {
        if (m_fd == kUnopened) {
            m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        }
        return m_fd >= 0;
    }

    int add(const fs::path& path, std::uint32_t mask) {
        // IN_MASK_ADD: a shared inode keeps what every watcher asked for.
        const int wd = ::inotify_add_watch(m_fd, path.c_str(), mask | IN_MASK_ADD);
        if (wd >= 0) {
            ++m_refs[wd];
        }
        return wd;
    }

    void remove(int wd) {
        const auto it = m_refs.find(wd);
        if (wd < 0 || it == m_refs.end()) {
            return;
        }
        if (--it->second == 0) {
            ::inotify_rm_watch(m_fd, wd);
            m_refs.erase(it);
        }
    }

    void enroll(ChangeWatch* w) { m_watches.push_back(w); }
    void withdraw(ChangeWatch* w) { std::erase(m_watches, w); }

    // Hands every queued event to every watch.
    void dispatch() {
        int queued = 0;
        // Asking how much is queued is the cheapest call there is, and this
        // one is made before every read.
        if (::ioctl(m_fd, FIONREAD, &queued) == 0 && queued == 0) {
            return;
        }
        alignas(inotify_event) char buf[8192];
        for (;;) {
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                if (n < 0 && errno != EAGAIN) {
                    for (ChangeWatch* w : m_watches) {
                        w->handle(-1, IN_Q_OVERFLOW, 0, {});
                    }
                }
                return;
            }
            for (ssize_t at = 0; at < n;) {
                const auto* ev = reinterpret_cast<const inotify_event*>(buf + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
                const std::string_view name =
                    ev->len ? std::string_view(ev->name, ::strnlen(ev->name, ev->len))
                            : std::string_view();
                for (ChangeWatch* w : m_watches) {
                    w->handle(ev->wd, ev->mask, ev->cookie, name);
                }
            }
        }
    }

private:
    static constexpr int kUnopened = -2;
    int m_fd = kUnopened;
    std::unordered_map<int, int> m_refs;
    std::vector<ChangeWatch*> m_watches;
};

} // namespace

ChangeWatch::~ChangeWatch() {
    const std::lock_guard lock(Notifier::instance().mutex);
    release();
}

void ChangeWatch::release() {
    Notifier& n = Notifier::instance();
    n.remove(m_dirWatch);
    n.remove(m_fileWatch);
    if (m_registered) {
        n.withdraw(this);
    }
    m_dirWatch = -1;
    m_fileWatch = -1;
    m_registered = false;
    m_dirty = false;
}

bool ChangeWatch::arm(const std::filesystem::path& file) {
    Notifier& n = Notifier::instance();
    const std::lock_guard lock(n.mutex);
    struct stat st {};
    const fs::path dir = folderOf(file);
    if ((::lstat(file.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) || !localFileSystem(dir) ||
        !n.open()) {
        release();
        return false;
    }
    // Earlier events go to whoever they concern; from here on only new ones
    // count for this watch.
    n.dispatch();
    if (!m_registered) {
        n.enroll(this);
        m_registered = true;
    }
    const int dirWatch = n.add(dir, kFolderEvents);
    if (dirWatch < 0) {
        release();
        return false;
    }
    // A missing file has no watch of its own: the folder reports its creation.
    const int fileWatch = n.add(file, kFileEvents);
    n.remove(m_dirWatch);
    n.remove(m_fileWatch);
    m_dirWatch = dirWatch;
    m_fileWatch = fileWatch;
    m_name = file.filename().string();
    m_dirty = false;
    return true;
}

bool ChangeWatch::quiet() {
    Notifier& n = Notifier::instance();
    const std::lock_guard lock(n.mutex);
    if (!armed() || m_dirty) {
        return false;
    }
    n.dispatch();
    return !m_dirty;
}

void ChangeWatch::ownReplaceDone(const std::filesystem::path& file, std::string_view tempName) {
    if (!armed()) {
        return;
    }
    Notifier& n = Notifier::instance();
    const std::lock_guard lock(n.mutex);
    // Everything our replacement caused is queued by now.
    m_ownReplace = true;
    m_ownTemp = tempName;
    m_ownCookie = 0;
    m_ownMoveSeen = false;
    n.dispatch();
    m_ownReplace = false;
    m_ownTemp = {};
    const int fileWatch = n.add(file, kFileEvents);
    n.remove(m_fileWatch);
    m_fileWatch = fileWatch;
}

void ChangeWatch::ownAppendDone(const std::filesystem::path& file, const Identity& appended) {
    if (!armed()) {
        return;
    }
    Notifier& n = Notifier::instance();
    const std::lock_guard lock(n.mutex);
    m_ownAppend = true;
    n.dispatch();
    m_ownAppend = false;
    // Another program's change in these few microseconds would have been
    // taken for ours; it shows in the size or the time.
    if (identityOf(file) != appended) {
        m_dirty = true;
    }
}

void ChangeWatch::handle(int watch, std::uint32_t mask, std::uint32_t cookie,
                         std::string_view name) {
    const bool onFile = (watch == m_fileWatch && watch >= 0) ||
                        (watch == m_dirWatch && watch >= 0 && name == m_name);
    if (mask & IN_Q_OVERFLOW) {
        m_dirty = true;
    } else if (m_ownAppend && onFile && (mask & ~std::uint32_t{IN_MODIFY | IN_CLOSE_WRITE}) == 0) {
        // Our own append and the close after it.
    } else if (watch == m_dirWatch) {
        if (mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)) {
            m_dirty = true;
        } else if (m_ownReplace && name == m_ownTemp) {
            if (mask & IN_MOVED_FROM) {
                m_ownCookie = cookie;
            }
        } else if (name == m_name) {
            // Our rename onto the file is the one move whose cookie pairs with
            // the temporary file's; anything else is someone else's doing.
            if (m_ownReplace && !m_ownMoveSeen && (mask & IN_MOVED_TO) && m_ownCookie != 0 &&
                cookie == m_ownCookie) {
                m_ownMoveSeen = true;
            } else {
                m_dirty = true;
            }
        }
    } else if (watch == m_fileWatch && watch >= 0 && !m_ownReplace) {
        // During our own replacement the watched inode is the file we have
        // just replaced.
        m_dirty = true;
    }
}

} // namespace pressmark::storefile
