#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pressmark {

// Key-by-key access to one INI file of code page 1251 text (a file that
// starts with a UTF-8 or UTF-16 byte-order mark is read and written in that
// encoding, and still gives and takes 1251). Section and key names compare
// without regard to ASCII letter case. Reads never fail: a missing or
// unreadable file reads as empty. Every write is atomic: a new section at the
// end of the file is appended in place in a way no crash can cut, any other
// write replaces the file (a temporary file in the same folder, then a
// rename). A write keeps every byte it does not change, and throws AppError
// "Unable to write to %s" when it cannot, leaving the old file untouched.
class ProfileStore {
public:
    // A larger file reads as empty and is never replaced (no scenario comes
    // near this).
    static constexpr std::uintmax_t kFileLimit = std::uintmax_t{256} << 20;

    explicit ProfileStore(std::filesystem::path file);
    ~ProfileStore();
    ProfileStore(const ProfileStore&) = delete;
    ProfileStore& operator=(const ProfileStore&) = delete;

    const std::filesystem::path& path() const { return m_path; }

    // The file as the store sees it now, looked at as every read looks (on
    // Linux through the change watch, without a stat): a regular file
    // there or not, its size, and a number that changes whenever the store
    // read it anew because it changed.
    struct Version {
        bool present = false;
        std::uintmax_t size = 0;
        std::uint64_t generation = 0;
    };
    Version version() const;

    // While a snapshot lives, the reads give the file as it was when the
    // snapshot was taken: one look at the file for many reads (a player's
    // step reads about eight keys). Writes still look, and are read back.
    class Snapshot {
    public:
        explicit Snapshot(const ProfileStore& store);
        ~Snapshot();
        Snapshot(const Snapshot&) = delete;
        Snapshot& operator=(const Snapshot&) = delete;

    private:
        const ProfileStore& m_store;
    };

    // The first matching entry's value, blanks trimmed, one pair of enclosing
    // matching quotes removed, at most 2047 characters.
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view def) const;
    std::int32_t readInteger(std::string_view section, std::string_view key,
                             std::int32_t def) const;
    bool readBool(std::string_view section, std::string_view key, bool def) const;
    // Clears names, then adds every section name in file order (all of them;
    // "[]" names none).
    void readSections(std::vector<std::string>& names) const;
    std::vector<std::string> sections() const;

    void writeString(std::string_view section, std::string_view key, std::string_view value);
    void writeInteger(std::string_view section, std::string_view key, std::int32_t value);
    void writeBool(std::string_view section, std::string_view key, bool value);
    // Several keys of one section in one replacement of the file, so that a
    // crash never leaves a step with some of its keys.
    using Entry = std::pair<std::string_view, std::string_view>;
    void writeStrings(std::string_view section, std::initializer_list<Entry> entries);
    // Removes every section whose name the predicate accepts, with its entries.
    void removeSections(const std::function<bool(std::string_view)>& remove);
    // Puts the sections appended in place on the disk: an append does not
    // wait for the disk (every other write does). False when the system
    // says it could not.
    bool flush();

private:
    struct Cache;
    std::filesystem::path m_path;
    mutable std::unique_ptr<Cache> m_cache;
};

} // namespace pressmark
