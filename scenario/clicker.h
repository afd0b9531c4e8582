#pragma once

#include "ProfileStore.h"

#include <filesystem>
#include <memory>

namespace pressmark {

// One scenario file opened for the recorder or the player.
// It never deletes or truncates the file; the first write creates it.
class clicker {
public:
    explicit clicker(std::filesystem::path path);
    virtual ~clicker();
    clicker(const clicker&) = delete;
    clicker& operator=(const clicker&) = delete;

    ProfileStore* file() const { return m_file.get(); }
    const std::filesystem::path& path() const { return m_path; }
    bool fileExisted() const { return m_fileExisted; }

protected:
    std::unique_ptr<ProfileStore> m_file; // absent when the path is empty
    std::filesystem::path m_path;
    bool m_fileExisted = false;
};

} // namespace pressmark
