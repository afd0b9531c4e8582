#pragma once

#include <string>
#include <vector>

namespace pressmark {

// The help page's topics (lb2) and the lines each one shows in m3 (UTF-8).
struct HelpTopic {
    std::string title;
    std::vector<std::string> lines;
};
const std::vector<HelpTopic>& helpTopics();

} // namespace pressmark
