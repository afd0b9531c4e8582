#pragma once

#include "ProfileStore.h"
#include "ScenarioFormat.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace pressmark {

// One scenario file opened for the recorder, the player or a settings edit.
// It never deletes or truncates the file; the first write creates it.
class clicker {
public:
    explicit clicker(std::filesystem::path path);
    virtual ~clicker();
    clicker(const clicker&) = delete;
    clicker& operator=(const clicker&) = delete;

    static constexpr std::int32_t kStepLimit = scenario::kLastStep;

    ProfileStore* file() const { return m_file.get(); }
    const std::filesystem::path& path() const { return m_path; }
    bool fileExisted() const { return m_fileExisted; }

protected:
    std::unique_ptr<ProfileStore> m_file; // absent when the path is empty
    std::filesystem::path m_path;
    bool m_fileExisted = false;
    // The step being played; filled by the player only.
    std::int32_t m_x = 0;
    std::int32_t m_y = 0;
    std::int32_t m_pause = 0;
    bool m_left = false;
    std::string m_text;
    std::int32_t m_stepLimit = kStepLimit;
};

} // namespace pressmark
