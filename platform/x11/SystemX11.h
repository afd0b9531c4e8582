#pragma once

#include "platform/Backend.h"

namespace pressmark::platform::x11 {

// The per-user proxy (GNOME's GSettings), the browser cache purge, program
// launch and the executable's own path.
class SystemX11 final : public System {
public:
    void setProxy(std::string_view proxy, bool enable) override;
    void clearCache() override;
    void runProgram(const std::filesystem::path& path) override;
    std::string executablePath() override;
};

} // namespace pressmark::platform::x11
