#include "GptImage.h"

#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace quarvell::testing {

namespace {

void put32(std::vector<uint8_t>& d, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) d[at + i] = uint8_t(v >> (8 * i));
}
void put64(std::vector<uint8_t>& d, size_t at, uint64_t v) {
    for (int i = 0; i < 8; ++i) d[at + i] = uint8_t(v >> (8 * i));
}

// Apple HFS+ (48465300-0000-11AA-AA11-00306543ECAC) as stored on disk.
const uint8_t kHfsType[16] = {0x00, 0x53, 0x46, 0x48, 0x00, 0x00, 0xAA, 0x11,
                              0xAA, 0x11, 0x00, 0x30, 0x65, 0x43, 0xEC, 0xAC};

}  // namespace

GptImage::GptImage(uint64_t diskSectors) : disk_(diskSectors * 512, 0) {
    if (diskSectors < 34) throw std::invalid_argument("a GPT disk needs 34 sectors");
    disk_[446 + 4] = 0xEE;
    put32(disk_, 446 + 8, 1);
    put32(disk_, 446 + 12, uint32_t(std::min<uint64_t>(diskSectors - 1, 0xFFFFFFFFu)));
    disk_[510] = 0x55;
    disk_[511] = 0xAA;
    const std::string signature = "EFI PART";
    std::copy(signature.begin(), signature.end(), disk_.begin() + 512);
    put64(disk_, 512 + 0x48, 2);    // entries start at sector 2
    put32(disk_, 512 + 0x50, 128);  // entry count
    put32(disk_, 512 + 0x54, 128);  // entry size
}

void GptImage::add(const GptEntry& entry) {
    const size_t at = 1024 + size_t(entries_++) * 128;
    std::copy(std::begin(kHfsType), std::end(kHfsType), disk_.begin() + at);
    disk_[at + 16] = uint8_t(entries_);  // a non-zero partition GUID
    put64(disk_, at + 0x20, entry.firstLba);
    put64(disk_, at + 0x28, entry.lastLba);
    for (size_t i = 0; i < entry.name.size() && i < 36; ++i) disk_[at + 0x38 + 2 * i] = uint8_t(entry.name[i]);
}

void GptImage::put(uint64_t sector, const std::vector<uint8_t>& bytes) {
    if (sector * 512 + bytes.size() > disk_.size()) throw std::out_of_range("bytes past the disk's end");
    std::copy(bytes.begin(), bytes.end(), disk_.begin() + std::ptrdiff_t(sector * 512));
}

void GptImage::write(const std::string& path) const {
    // The header's and the entry array's CRC-32, as a partitioning tool sets them.
    std::vector<uint8_t> disk = disk_;
    put32(disk, 512 + 12, 92);
    put32(disk, 512 + 88, uint32_t(crc32(0, &disk[1024], 128 * 128)));
    put32(disk, 512 + 16, 0);
    put32(disk, 512 + 16, uint32_t(crc32(0, &disk[512], 92)));
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(disk.data()), std::streamsize(disk.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace quarvell::testing
