#pragma once
// Text conversions for names read from disk (UTF-16 little- and big-endian to UTF-8).
#include <cstddef>
#include <cstdint>
#include <string>

namespace quarvell {

// Unpaired surrogates become U+FFFD. `units` is the number of 16-bit units.
std::string utf16leToUtf8(const uint8_t* data, size_t units);
std::string utf16beToUtf8(const uint8_t* data, size_t units);
void appendUtf8(std::string& out, uint32_t codePoint);

// A name as it is shown, listed and saved: each control character (0x00-0x1F, 0x7F) becomes its
// Unicode control picture (U+2400 + code, U+2421 for DEL), so NUL reads "\u2400" ("␀").
std::string controlPictures(std::string text);

}  // namespace quarvell
