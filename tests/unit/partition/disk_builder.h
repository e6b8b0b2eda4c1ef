#pragma once
// Builds small disks in memory: partition tables and boot records written byte by byte.
#include <cstdint>
#include <cstring>
#include <zlib.h>
#include <string>
#include <vector>

namespace quarvell::testing {

struct DiskBuilder {
    std::vector<uint8_t> bytes;
    explicit DiskBuilder(uint64_t sectors) : bytes(sectors * 512, 0) {}

    uint8_t* sector(uint64_t s) { return bytes.data() + s * 512; }
    void put16(uint64_t off, uint16_t v) { bytes[off] = uint8_t(v); bytes[off + 1] = uint8_t(v >> 8); }
    void put32(uint64_t off, uint32_t v) { for (int i = 0; i < 4; ++i) bytes[off + i] = uint8_t(v >> (8 * i)); }
    void put64(uint64_t off, uint64_t v) { for (int i = 0; i < 8; ++i) bytes[off + i] = uint8_t(v >> (8 * i)); }
    void putBE32(uint64_t off, uint32_t v) { for (int i = 0; i < 4; ++i) bytes[off + i] = uint8_t(v >> (24 - 8 * i)); }

    // A table entry (slot 0..3) in the MBR or EBR at sector `table`.
    void entry(uint64_t table, int slot, uint8_t type, uint32_t first, uint32_t count) {
        uint64_t off = table * 512 + 446 + uint64_t(slot) * 16;
        bytes[off + 4] = type;
        put32(off + 8, first);
        put32(off + 12, count);
        bytes[table * 512 + 510] = 0x55;
        bytes[table * 512 + 511] = 0xAA;
    }

    void ntfs(uint64_t s, uint64_t totalSectors) {
        uint8_t* p = sector(s);
        p[0] = 0xEB; p[1] = 0x52; p[2] = 0x90;
        std::memcpy(p + 3, "NTFS    ", 8);
        put16(s * 512 + 11, 512);
        put64(s * 512 + 40, totalSectors);
        p[510] = 0x55; p[511] = 0xAA;
    }

    // A FAT boot sector; fatSectors16 == 0 makes it FAT32.
    void fat(uint64_t s, const char* oem, uint32_t totalSectors, uint16_t fatSectors16, uint8_t perCluster = 4,
             uint16_t bytesPerSector = 512) {
        uint8_t* p = sector(s);
        p[0] = 0xEB; p[1] = 0x58; p[2] = 0x90;
        std::memcpy(p + 3, oem, 8);
        put16(s * 512 + 11, bytesPerSector);
        p[13] = perCluster;
        put16(s * 512 + 14, fatSectors16 ? 1 : 32);
        p[16] = 2;
        put16(s * 512 + 17, fatSectors16 ? 512 : 0);
        if (fatSectors16 && totalSectors < 65536) put16(s * 512 + 19, uint16_t(totalSectors));
        else put32(s * 512 + 32, totalSectors);
        put16(s * 512 + 22, fatSectors16);
        p[510] = 0x55; p[511] = 0xAA;
    }

    void exfat(uint64_t s, uint64_t lengthSectors) {
        uint8_t* p = sector(s);
        p[0] = 0xEB; p[1] = 0x76; p[2] = 0x90;
        std::memcpy(p + 3, "EXFAT   ", 8);
        put64(s * 512 + 72, lengthSectors);
        p[108] = 9;
        p[510] = 0x55; p[511] = 0xAA;
    }

    // An HFS+ volume starting at sector s (header 1024 bytes in).
    void hfsplus(uint64_t s, uint32_t blockSize, uint32_t blocks) {
        uint64_t off = (s + 2) * 512;
        bytes[off] = 'H'; bytes[off + 1] = '+'; bytes[off + 2] = 0; bytes[off + 3] = 4;
        putBE32(off + 40, blockSize);
        putBE32(off + 44, blocks);
    }

    // An ext superblock of a volume starting at sector s (1024 bytes in), with the group layout
    // mke2fs gives (8 × block size blocks and 128 inodes per group); with backups, a copy at
    // the start of every odd group's first block (and group 1's), each with its group number.
    void ext(uint64_t s, uint32_t blocks, uint32_t logBlockSize = 0, bool backups = false) {
        const uint32_t blockSize = 1024u << logBlockSize;
        const uint32_t firstData = logBlockSize == 0 ? 1 : 0;
        const uint32_t perGroup = 8 * blockSize;
        const uint32_t groups = (blocks - firstData + perGroup - 1) / perGroup;
        auto write = [&](uint64_t sb, uint16_t group) {
            put32(sb + 0, 128 * groups);
            put32(sb + 4, blocks);
            put32(sb + 20, firstData);
            put32(sb + 24, logBlockSize);
            put32(sb + 32, perGroup);
            put32(sb + 40, 128);
            put16(sb + 56, 0xEF53);
            put16(sb + 90, group);
        };
        write(s * 512 + 1024, 0);
        for (uint32_t g = 1; backups && g < groups; g += 2)
            write(s * 512 + (uint64_t(g) * perGroup + firstData) * blockSize, uint16_t(g));
    }

    // A GPT header at sector 1 with its entry array at entryLba; entries written by gptEntry.
    void gptHeader(uint64_t entryLba) {
        std::memcpy(sector(1), "EFI PART", 8);
        put64(512 + 0x48, entryLba);
        put32(512 + 0x50, 128);
        put32(512 + 0x54, 128);
        entry(0, 0, 0xEE, 1, uint32_t(bytes.size() / 512 - 1));
        sealGpt(1);
    }
    void gptEntry(uint64_t entryLba, int index, uint64_t first, uint64_t last, const std::string& name) {
        uint64_t off = entryLba * 512 + uint64_t(index) * 128;
        for (int i = 0; i < 16; ++i) bytes[off + i] = uint8_t(0xA0 + i);  // some type GUID
        put64(off + 0x20, first);
        put64(off + 0x28, last);
        for (size_t i = 0; i < name.size() && i < 36; ++i) put16(off + 0x38 + 2 * i, uint16_t(uint8_t(name[i])));
        sealGpt(1);
    }
    // Sets the CRCs of the GPT header at sector `at` (92 bytes) and of its entry array.
    void sealGpt(uint64_t at) {
        const uint64_t h = at * 512;
        uint64_t lba = 0;
        for (int i = 7; i >= 0; --i) lba = lba << 8 | bytes[h + 0x48 + uint64_t(i)];
        put32(h + 12, 92);
        if (lba * 512 + 128 * 128 <= bytes.size()) put32(h + 88, uint32_t(crc32(0, &bytes[lba * 512], 128 * 128)));
        put32(h + 16, 0);
        put32(h + 16, uint32_t(crc32(0, &bytes[h], 92)));
    }
};

}  // namespace quarvell::testing
