// The store's file operations in standard C++ only, for the systems without a
// variant of their own: no change notification, so every read compares the
// file's size and modification time, which is all the standard library tells.

#include "StoreFile.h"

#include "base/AppError.h"
#include "ScenarioFolder.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>

namespace pressmark::storefile {
namespace {

namespace fs = std::filesystem;

std::atomic<unsigned> g_tempCounter{0};

std::string tempSuffix() {
    static const unsigned session = std::random_device{}();
    return std::to_string(session) + "-" + std::to_string(g_tempCounter.fetch_add(1));
}

} // namespace

Identity identityOf(const std::filesystem::path& file) {
    std::error_code ec;
    const auto status = fs::status(file, ec);
    if (ec || !fs::exists(status)) {
        return {};
    }
    Identity id;
    id.exists = true;
    if (fs::is_regular_file(status)) {
        id.size = fs::file_size(file, ec);
    }
    const auto time = fs::last_write_time(file, ec).time_since_epoch();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(time).count();
    id.mtimeSec = ns / 1000000000;
    id.mtimeNsec = ns % 1000000000;
    return id;
}

Contents readFile(const std::filesystem::path& file, std::size_t limit) {
    Contents c;
    c.identity = identityOf(file);
    if (!c.identity.exists) {
        return c;
    }
    std::error_code ec;
    if (!fs::is_regular_file(file, ec) || c.identity.size > limit) {
        c.readable = false;
        return c;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        c.readable = false;
        return c;
    }
    c.bytes.resize(static_cast<std::size_t>(c.identity.size));
    in.read(c.bytes.data(), static_cast<std::streamsize>(c.bytes.size()));
    c.bytes.resize(static_cast<std::size_t>(in.gcount()));
    return c;
}

Replaced replaceFile(const std::filesystem::path& file, std::string_view bytes) {
    const auto fail = [&file] { return writeError(pathToUtf8(file)); };
    std::error_code ec;
    fs::path target = file;
    if (fs::is_symlink(file, ec)) {
        target = fs::weakly_canonical(file, ec);
        if (ec) {
            throw fail();
        }
    }
    const auto oldStatus = fs::status(target, ec);
    const bool hadOld = !ec && fs::exists(oldStatus);
    if (hadOld && !fs::is_regular_file(oldStatus)) {
        throw fail();
    }
    Replaced result;
    result.tempName = "." + target.filename().string().substr(0, 200) + ".tmp-" + tempSuffix();
    const fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    const fs::path temp = dir / result.tempName;
    bool ok = false;
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (out) {
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            out.close();
            ok = !out.fail();
        }
    }
    if (ok && hadOld) {
        fs::permissions(temp, oldStatus.permissions(), ec);
    }
    if (ok) {
        result.identity = identityOf(temp);
        fs::rename(temp, target, ec);
        ok = !ec;
    }
    if (!ok) {
        fs::remove(temp, ec);
        throw fail();
    }
    return result;
}

std::size_t atomicAppendUnit(bool) {
    // Nothing here says how a write reaches the file: every write replaces it.
    return 0;
}

std::optional<Identity> appendFile(const std::filesystem::path&, const Identity&,
                                   std::string_view) {
    return std::nullopt;
}

bool syncFile(const std::filesystem::path&) {
    // The standard library has no way to.
    return false;
}

void syncFolder(const std::filesystem::path&) {}

void removeStaleTemps(const std::filesystem::path& file) {
    // Without locks to ask, age alone tells a dead writer's temporary file
    // from a live one's; a live writer here finishes in well under a minute,
    // and on Windows an open file cannot be removed anyway.
    std::error_code ec;
    fs::path target = file;
    if (fs::is_symlink(file, ec)) {
        target = fs::weakly_canonical(file, ec);
        if (ec) {
            return;
        }
    }
    const fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    const std::string prefix = "." + target.filename().string().substr(0, 200) + ".tmp-";
    const auto now = fs::file_time_type::clock::now();
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::string_view rest = std::string_view(name).substr(
            name.compare(0, prefix.size(), prefix) == 0 ? prefix.size() : name.size());
        const std::size_t dash = rest.find('-');
        if (rest.empty() || dash == 0 || dash == std::string_view::npos ||
            rest.substr(0, dash).find_first_not_of("0123456789") != std::string_view::npos ||
            rest.substr(dash + 1).find_first_not_of("0123456789") != std::string_view::npos ||
            dash + 1 == rest.size()) {
            continue;
        }
        std::error_code fileEc;
        const auto changed = fs::last_write_time(it->path(), fileEc);
        if (!fileEc && it->is_regular_file(fileEc) && now - changed > std::chrono::minutes(1)) {
            fs::remove(it->path(), fileEc);
        }
    }
}

} // namespace pressmark::storefile
