#include "disk/TableCheck.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "common/TextFormat.h"

namespace quarvell {

namespace {

// Tables are read in pieces of this many entries, so memory stays bounded whatever a header says.
constexpr size_t kEntriesPerRead = 8192;

struct File {
    int fd = -1;
    uint64_t size = 0;
    explicit File(const std::string& path) {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd >= 0 && ::fstat(fd, &st) == 0) size = uint64_t(st.st_size);
    }
    ~File() {
        if (fd >= 0) ::close(fd);
    }
    bool readAll(uint64_t offset, void* out, size_t n) const {
        if (offset > size || n > size - offset) return false;
        size_t got = 0;
        while (got < n) {
            const ssize_t r = ::pread(fd, static_cast<uint8_t*>(out) + got, n - got, off_t(offset + got));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
            got += size_t(r);
        }
        return true;
    }
};

uint64_t be64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = v << 8 | p[i];
    return v;
}
uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
uint64_t le64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
    return v;
}
uint32_t le32(const uint8_t* p) { return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]; }

std::string pastEnd(const char* what, uint64_t at, uint64_t fileSize) {
    return format("the image is truncated or damaged: %s at byte %llu lies past its end (%llu bytes)", what,
                  static_cast<unsigned long long>(at), static_cast<unsigned long long>(fileSize));
}

}  // namespace

std::string checkQcowTables(const std::string& path) {
    File f(path);
    uint8_t h[72] = {};
    if (f.fd < 0 || !f.readAll(0, h, sizeof h)) return "the QCOW header cannot be read";
    if (be32(h + 4) < 2) return {};
    const uint32_t clusterBits = be32(h + 20);
    if (clusterBits < 9 || clusterBits > 21) return "the QCOW header gives an impossible cluster size";
    const uint64_t cluster = uint64_t(1) << clusterBits;
    const uint32_t l1Size = be32(h + 36);
    const uint64_t l1Offset = be64(h + 40);
    if (uint64_t(l1Size) * 8 > f.size || l1Offset > f.size - uint64_t(l1Size) * 8)
        return pastEnd("the level-1 table", l1Offset, f.size);
    const uint64_t offsetMask = 0x00fffffffffffe00ULL;
    const uint32_t l2Entries = uint32_t(cluster / 8);
    const uint32_t compressedBits = 62 - (clusterBits - 8);
    std::vector<uint8_t> l1(kEntriesPerRead * 8), l2(cluster);
    for (uint64_t i0 = 0; i0 < l1Size; i0 += kEntriesPerRead) {
        const size_t n = size_t(std::min<uint64_t>(kEntriesPerRead, l1Size - i0));
        if (!f.readAll(l1Offset + i0 * 8, l1.data(), n * 8)) return pastEnd("the level-1 table", l1Offset, f.size);
        for (size_t i = 0; i < n; ++i) {
            const uint64_t l2Offset = be64(&l1[i * 8]) & offsetMask;
            if (l2Offset == 0) continue;
            if (!f.readAll(l2Offset, l2.data(), l2.size())) return pastEnd("a level-2 table", l2Offset, f.size);
            for (uint32_t j = 0; j < l2Entries; ++j) {
                const uint64_t e = be64(&l2[size_t(j) * 8]);
                if (e & (uint64_t(1) << 62)) {
                    const uint64_t at = e & ((uint64_t(1) << compressedBits) - 1);
                    if (at >= f.size) return pastEnd("a compressed cluster", at, f.size);
                    continue;
                }
                const uint64_t at = e & offsetMask;
                if (at != 0 && (at > f.size || cluster > f.size - at)) return pastEnd("a data cluster", at, f.size);
            }
        }
    }
    return {};
}

std::string checkVmdkSparseTables(const std::string& path) {
    File f(path);
    uint8_t h[80] = {};
    if (f.fd < 0 || !f.readAll(0, h, sizeof h)) return {};
    if (std::memcmp(h, "KDMV", 4) != 0) return {};
    const uint64_t capacity = le64(h + 12);    // sectors
    const uint64_t grainSize = le64(h + 20);   // sectors
    const uint32_t perTable = le32(h + 44);    // grain table entries
    const uint64_t gdSector = le64(h + 56);
    const uint16_t compress = uint16_t(h[77] | h[78] << 8);
    if (gdSector == ~uint64_t(0)) return {};  // a stream-optimised image keeps its directory at the end
    if (grainSize == 0 || grainSize > (1u << 20) || perTable == 0 || perTable > (1u << 20))
        return "the VMDK header gives an impossible grain size or table size";
    const uint64_t grains = capacity / grainSize + (capacity % grainSize ? 1 : 0);
    const uint64_t tables = grains / perTable + (grains % perTable ? 1 : 0);
    if (gdSector > f.size / 512 || tables * 4 > f.size - gdSector * 512)
        return pastEnd("the grain directory", gdSector * 512, f.size);
    std::vector<uint8_t> gd(kEntriesPerRead * 4), gt(size_t(perTable) * 4);
    for (uint64_t t0 = 0; t0 < tables; t0 += kEntriesPerRead) {
        const size_t n = size_t(std::min<uint64_t>(kEntriesPerRead, tables - t0));
        if (!f.readAll(gdSector * 512 + t0 * 4, gd.data(), n * 4)) return pastEnd("the grain directory", gdSector * 512, f.size);
        for (size_t i = 0; i < n; ++i) {
            const uint64_t gtSector = le32(&gd[i * 4]);
            if (gtSector == 0) continue;
            if (!f.readAll(gtSector * 512, gt.data(), gt.size())) return pastEnd("a grain table", gtSector * 512, f.size);
            for (uint32_t j = 0; j < perTable; ++j) {
                const uint64_t grain = le32(&gt[size_t(j) * 4]);
                if (grain <= 1) continue;  // 0: not allocated; 1: reads as zeros
                const uint64_t at = grain * 512;
                const uint64_t need = compress ? 1 : grainSize * 512;
                if (at > f.size || need > f.size - at) return pastEnd("a grain", at, f.size);
            }
        }
    }
    return {};
}

}  // namespace quarvell
