#include "fs/ntfs/NtfsProbe.h"

#include <cstring>

#include "common/Bytes.h"

namespace quarvell {

ProbeMatch probeNtfs(const uint8_t* s, ProbeUse use) {
    ProbeMatch m;
    if (s[0] != 0xEB || s[1] != 0x52 || le16(s + 11) != 512) return m;
    if (use == ProbeUse::EverySector && std::memcmp(s + 3, "NTFS", 4) != 0) return m;
    m.label = "NTFS";
    m.sectors = le64(s + 40);
    return m;
}

}  // namespace quarvell
