#pragma once

// A scenario file that starts with a byte-order mark is text in that
// encoding; the store hands out and takes in code page 1251 all the same, and
// writes back in the file's own encoding, mark included. This is the
// transcoding between the two.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pressmark::textdecoding {

enum class Encoding : std::uint8_t { Cp1251, Utf8, Utf16Le, Utf16Be };

// The encoding its mark names (1251 without one), and the mark's length.
Encoding encodingOf(std::string_view raw, std::size_t& markLen);
// The bytes of one character: 2 in UTF-16, 1 where characters have no fixed
// size.
std::size_t unitSize(Encoding e);
// 1251 text in the encoding, without a mark.
std::string encodeText(Encoding e, std::string_view text);
// Decodes a Unicode file's raw bytes from rawPos (a character boundary) to
// their end onto bytes, as 1251, and records in rawAt where each decoded byte
// starts in raw, with one more entry for the end: a last entry already there
// is that end, and is replaced. A last odd byte of a UTF-16 file is half a
// character: it is not read, and stays the file's last byte whatever is
// written, so that nothing written after it is read out of step.
void decodeText(Encoding e, std::string_view raw, std::size_t rawPos, std::string& bytes,
                std::vector<std::uint32_t>& rawAt);

} // namespace pressmark::textdecoding
