#include "fs/exfat/ExfatProbe.h"

#include <cstring>

#include "common/Bytes.h"

namespace quarvell {

ProbeMatch probeExfat(const uint8_t* s, ProbeUse) {
    ProbeMatch m;
    if (s[0] != 0xEB || (s[1] != 0x3C && s[1] != 0x58 && s[1] != 0x76) || std::memcmp(s + 3, "EXFA", 4) != 0)
        return m;
    const unsigned shift = s[108];
    const uint64_t length = le64(s + 72);
    m.label = "FAT64";
    // The length counts sectors of 2^shift bytes.
    m.sectors = (shift >= 9 && shift <= 12) ? length << (shift - 9) : length;
    return m;
}

}  // namespace quarvell
