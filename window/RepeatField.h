#pragma once

#include <optional>
#include <string>
#include <string_view>

// The repeat field re's rules, the same in every window: the front ends keep
// its text and forward its steps; what the text reads as, what a value set
// by the program shows and where a step lands are decided here.
namespace pressmark::repeatfield {

// The characters that may be typed into it: digits and the signs.
bool accepts(char32_t typed);

struct Reading {
    int value = 1;
    // The text the field shows afterwards, when it changes: an empty field
    // is filled with "1".
    std::optional<std::string> refill;
};
// The text as a number, not limited: a typed 500 reads as 500. An empty
// field and a text that is not a number read as 1.
Reading read(std::string_view text);
// What the field shows for a value the program sets: limited to the table's
// range of re (1..100).
std::string shown(int value);
// The text after one step of `delta` from `text`, limited as a set value;
// a step at the limit leaves it as it is.
std::string stepped(std::string_view text, int delta);

// How far one step goes: the spin buttons, the Up and Down keys and a wheel
// notch by 1, Page Up and Page Down and a notch with Ctrl held by 10.
enum class Step { Up, Down, PageUp, PageDown, WheelUp, WheelDown };
int delta(Step step, bool control);

} // namespace pressmark::repeatfield
