#include "disk/BootRecord.h"

#include "fs/FileSystemKind.h"

namespace quarvell {

namespace {

constexpr uint32_t kSector = 512;

// The first kind whose probe recognises the sector, taken only at the distance `before` to
// the volume's start when before >= 0.
BootRecordMatch ask(const uint8_t* sector, ProbeUse use, int64_t before) {
    BootRecordMatch out;
    for (const FileSystemKind& kind : fileSystemKinds()) {
        if (!kind.probe) continue;
        const ProbeMatch m = kind.probe(sector, use);
        if (m.label.empty() || (before >= 0 && m.sectorsBefore != uint64_t(before))) continue;
        out.label = m.label;
        out.sectors = m.sectors;
        out.sectorsBefore = m.sectorsBefore;
        return out;
    }
    return out;
}

}  // namespace

BootRecordMatch classifyBootRecord(const uint8_t* s, bool advancedScan) {
    return advancedScan ? ask(s, ProbeUse::EverySector, -1) : ask(s, ProbeUse::VolumeStart, 0);
}

BootRecordMatch classifyVolumeStart(const uint8_t* first2048) {
    BootRecordMatch m = ask(first2048, ProbeUse::VolumeStart, 0);
    if (m.label.empty()) m = ask(first2048 + 2 * kSector, ProbeUse::VolumeStart, 2);
    return m;
}

bool extSuperblock(const uint8_t* first2048, uint64_t* sectors) {
    const BootRecordMatch m = ask(first2048 + 2 * kSector, ProbeUse::VolumeStart, 2);
    if (m.label != "extX") return false;
    if (sectors) *sectors = m.sectors;
    return true;
}

}  // namespace quarvell
