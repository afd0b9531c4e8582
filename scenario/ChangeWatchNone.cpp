// Where the system tells the store of no change, nothing is ever quiet: every
// read compares the file's identity instead.

#include "StoreFile.h"

namespace pressmark::storefile {

ChangeWatch::~ChangeWatch() = default;

void ChangeWatch::release() {}

bool ChangeWatch::arm(const std::filesystem::path&) {
    return false;
}

bool ChangeWatch::quiet() {
    return false;
}

void ChangeWatch::ownReplaceDone(const std::filesystem::path&, std::string_view) {}

void ChangeWatch::ownAppendDone(const std::filesystem::path&, const Identity&) {}

void ChangeWatch::handle(int, std::uint32_t, std::uint32_t, std::string_view) {}

} // namespace pressmark::storefile
