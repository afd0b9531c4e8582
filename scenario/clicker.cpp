#include "clicker.h"

#include <system_error>

namespace pressmark {

clicker::clicker(std::filesystem::path path) : m_path(std::move(path)) {
    std::error_code ec;
    m_fileExisted = std::filesystem::exists(m_path, ec);
    if (!m_path.empty()) {
        m_file = std::make_unique<ProfileStore>(m_path);
    }
}

clicker::~clicker() = default;

} // namespace pressmark
