#include "fs/fat/FatProbe.h"

#include "common/Bytes.h"

namespace quarvell {

namespace {

bool isPowerOfTwo(unsigned v) { return v != 0 && (v & (v - 1)) == 0; }

ProbeMatch probeFatLabel(const uint8_t* s, const char* wanted) {
    ProbeMatch m;
    uint64_t sectors = 0;
    if (fatLabel(s, &sectors) != wanted) return m;
    m.label = wanted;
    m.sectors = sectors;
    return m;
}

}  // namespace

std::string fatLabel(const uint8_t* s, uint64_t* sectors) {
    if (s[0] != 0xEB || (s[1] != 0x3C && s[1] != 0x58 && s[1] != 0x76)) return {};
    const unsigned bytesPerSector = le16(s + 11);
    const unsigned sectorsPerCluster = s[13];
    const unsigned reserved = le16(s + 14);
    const unsigned fats = s[16];
    const unsigned rootEntries = le16(s + 17);
    const uint32_t total16 = le16(s + 19);
    const uint32_t fatSectors16 = le16(s + 22);
    const uint32_t total32 = le32(s + 32);
    if (bytesPerSector != 512 && bytesPerSector != 1024 && bytesPerSector != 2048 && bytesPerSector != 4096) return {};
    if (!isPowerOfTwo(sectorsPerCluster) || sectorsPerCluster > 128) return {};
    if (reserved < 1 || (fats != 1 && fats != 2)) return {};
    if (s[510] != 0x55 || s[511] != 0xAA) return {};
    const uint64_t total = total16 != 0 ? total16 : total32;
    if (total == 0) return {};
    if (sectors) *sectors = total * (bytesPerSector / 512);
    if (fatSectors16 == 0) return "FAT32";
    const uint64_t rootSectors = (uint64_t(rootEntries) * 32 + bytesPerSector - 1) / bytesPerSector;
    const uint64_t overhead = reserved + uint64_t(fats) * fatSectors16 + rootSectors;
    const uint64_t clusters = total > overhead ? (total - overhead) / sectorsPerCluster : 0;
    return clusters < 4085 ? "FAT12" : "FAT16";
}

ProbeMatch probeFat32(const uint8_t* s, ProbeUse) { return probeFatLabel(s, "FAT32"); }
ProbeMatch probeFat16(const uint8_t* s, ProbeUse) { return probeFatLabel(s, "FAT16"); }
ProbeMatch probeFat12(const uint8_t* s, ProbeUse) { return probeFatLabel(s, "FAT12"); }

}  // namespace quarvell
