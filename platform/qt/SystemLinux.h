#pragma once

#include "platform/Backend.h"

namespace pressmark::platform::qt {

// The per-user proxy (GNOME's GSettings), the browser cache purge, program
// launch and the executable's own path.
class SystemLinux final : public System {
public:
    void setProxy(std::string_view proxy, bool enable) override;
    void clearCache() override;
    void runProgram(const std::filesystem::path& path) override;
    std::string executablePath() override;
};

} // namespace pressmark::platform::qt
