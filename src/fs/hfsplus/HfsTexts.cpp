#include "fs/hfsplus/HfsTexts.h"

#include <ctime>


namespace quarvell {

namespace {
void twoDigits(std::string& out, int v) {
    out.push_back(char('0' + v / 10 % 10));
    out.push_back(char('0' + v % 10));
}
}  // namespace

// Written digit by digit: the file list and the listings ask for three dates per file.
std::string hfsDateText(uint32_t hfsDate) {
    std::time_t t = static_cast<std::time_t>(hfsDateToUnix(hfsDate));
    std::tm local{};
    if (!localtime_r(&t, &local)) return {};
    const bool pm = local.tm_hour > 12;
    std::string out;
    out.reserve(24);
    twoDigits(out, local.tm_mon + 1);
    out.push_back('/');
    twoDigits(out, local.tm_mday);
    out.push_back('/');
    out += std::to_string(local.tm_year + 1900);
    out += "  ";
    twoDigits(out, pm ? local.tm_hour - 12 : local.tm_hour);
    out.push_back(':');
    twoDigits(out, local.tm_min);
    out += pm ? " PM" : " AM";
    return out;
}

std::string hfsAttributeText(uint16_t mode) {
    static const struct {
        uint16_t bit;
        const char* text;
    } kBits[] = {{0x40, "-Owner:X"}, {0x80, "-Owner:W"}, {0x100, "-Owner:R"}, {0x1, "-OX"}, {0x2, "-OW"},
                 {0x4, "-OR"},       {0x8, "-GX"},       {0x10, "-GW"},       {0x20, "-GR"}};
    std::string out;
    for (const auto& b : kBits)
        if (mode & b.bit) out += b.text;
    return out;
}

}  // namespace quarvell
