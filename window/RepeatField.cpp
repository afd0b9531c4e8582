#include "RepeatField.h"

#include "Layout.h"
#include "base/IntConv.h"

#include <algorithm>

namespace pressmark::repeatfield {

bool accepts(char32_t typed) {
    return (typed >= U'0' && typed <= U'9') || typed == U'+' || typed == U'-';
}

Reading read(std::string_view text) {
    if (text.empty()) {
        return {1, std::string("1")};
    }
    return {parseInt32(text).value_or(1), std::nullopt};
}

std::string shown(int value) {
    const layout::Control& re = layout::control("re");
    return std::to_string(std::clamp(value, re.minimum, re.maximum));
}

std::string stepped(std::string_view text, int delta) {
    const long long next = static_cast<long long>(read(text).value) + delta;
    const layout::Control& re = layout::control("re");
    return shown(static_cast<int>(std::clamp<long long>(next, re.minimum, re.maximum)));
}

int delta(Step step, bool control) {
    const int wheel = control ? 10 : 1;
    switch (step) {
    case Step::Up:
        return 1;
    case Step::Down:
        return -1;
    case Step::PageUp:
        return 10;
    case Step::PageDown:
        return -10;
    case Step::WheelUp:
        return wheel;
    case Step::WheelDown:
        return -wheel;
    }
    return 0;
}

} // namespace pressmark::repeatfield
