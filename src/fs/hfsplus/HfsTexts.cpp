#include "fs/hfsplus/HfsTexts.h"

#include <ctime>

#include "common/TextFormat.h"

namespace quarvell {

std::string hfsDateText(uint32_t hfsDate) {
    std::time_t t = static_cast<std::time_t>(hfsDateToUnix(hfsDate));
    std::tm local{};
    if (!localtime_r(&t, &local)) return {};
    return dateText(local);
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
