#include "disk/BootRecord.h"

#include <cstring>

#include "common/Bytes.h"

namespace quarvell {

namespace {

bool fatJump(const uint8_t* s) { return s[0] == 0xEB && (s[1] == 0x3C || s[1] == 0x58 || s[1] == 0x76); }

bool isPowerOfTwo(unsigned v) { return v != 0 && (v & (v - 1)) == 0; }

}  // namespace

std::string fatLabel(const uint8_t* s, uint64_t* sectors) {
    if (!fatJump(s)) return {};
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

bool extSuperblock(const uint8_t* b, uint64_t* sectors) {
    const uint8_t* sb = b + 1024;
    if (le16(sb + 56) != 0xEF53) return false;
    const uint32_t logBlock = le32(sb + 24);
    if (logBlock > 2) return false;
    const uint32_t inodes = le32(sb + 0);
    const uint32_t blocks = le32(sb + 4);
    if (inodes == 0 || blocks == 0) return false;
    if (sectors) *sectors = uint64_t(blocks) * (1024u << logBlock) / 512;
    return true;
}

BootRecordMatch classifyBootRecord(const uint8_t* s, bool advancedScan) {
    BootRecordMatch m;
    if (s[0] == 0xEB && s[1] == 0x52 && le16(s + 11) == 512 &&
        (!advancedScan || std::memcmp(s + 3, "NTFS", 4) == 0)) {
        m.label = "NTFS";
        m.sectors = le64(s + 40);
        return m;
    }
    uint64_t fatSectors = 0;
    std::string fat = fatLabel(s, &fatSectors);
    if (!fat.empty()) {
        m.label = fat;
        m.sectors = fatSectors;
        return m;
    }
    if (fatJump(s) && std::memcmp(s + 3, "EXFA", 4) == 0) {
        const unsigned shift = s[108];
        const uint64_t length = le64(s + 72);
        m.label = "FAT64";
        // The length counts sectors of 2^shift bytes.
        m.sectors = (shift >= 9 && shift <= 12) ? length << (shift - 9) : length;
        return m;
    }
    if (advancedScan && s[0] == 'H' && s[1] == '+' && s[2] == 0) {
        const uint64_t bytes = uint64_t(be32(s + 40)) * be32(s + 44);
        m.label = "HFS+";
        m.sectors = bytes / 512;
        return m;
    }
    return m;
}

}  // namespace quarvell
