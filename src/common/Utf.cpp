#include "common/Utf.h"

namespace quarvell {

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out.push_back(char(cp));
    } else if (cp < 0x800) {
        out.push_back(char(0xC0 | (cp >> 6)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(char(0xE0 | (cp >> 12)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (cp >> 18)));
        out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    }
}

namespace {
template <bool BigEndian>
std::string convert(const uint8_t* data, size_t units) {
    std::string out;
    out.reserve(units);
    auto unit = [data](size_t i) -> uint32_t {
        return BigEndian ? uint32_t(data[2 * i] << 8 | data[2 * i + 1]) : uint32_t(data[2 * i] | data[2 * i + 1] << 8);
    };
    for (size_t i = 0; i < units; ++i) {
        uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            uint32_t lo = unit(i + 1);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                ++i;
                continue;
            }
        }
        appendUtf8(out, u);
    }
    return out;
}
}  // namespace

std::string utf16leToUtf8(const uint8_t* data, size_t units) { return convert<false>(data, units); }
std::string utf16beToUtf8(const uint8_t* data, size_t units) { return convert<true>(data, units); }

std::string controlPictures(std::string text) {
    size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) >= 0x20 && text[i] != 0x7F) ++i;
    if (i == text.size()) return text;
    std::string out = text.substr(0, i);
    for (; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20) appendUtf8(out, 0x2400u + c);
        else if (c == 0x7F) appendUtf8(out, 0x2421u);
        else out.push_back(char(c));
    }
    return out;
}

}  // namespace quarvell
