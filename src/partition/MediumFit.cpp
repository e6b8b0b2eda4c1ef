#include "partition/MediumFit.h"

#include "common/TextFormat.h"

namespace quarvell {

namespace {
unsigned long long ull(uint64_t v) { return static_cast<unsigned long long>(v); }
}  // namespace

bool hasTableSignature(const uint8_t* s) { return s[510] == 0x55 && s[511] == 0xAA; }

EntryFit fitToMedium(int64_t start, uint64_t& count, uint64_t mediumSectors) {
    if (mediumSectors == 0) return EntryFit::Fits;
    if (start < 0 || uint64_t(start) >= mediumSectors) return EntryFit::PastEnd;
    const uint64_t room = mediumSectors - uint64_t(start);
    if (count <= room) return EntryFit::Fits;
    count = room;
    return EntryFit::Clipped;
}

VolumeEntry wholeMediumVolume(const BootRecordMatch& found, uint64_t mediumSectors, std::string& warning) {
    VolumeEntry v;
    v.fileSystem = found.label;
    v.volumeName = "0";
    v.startSector = 0;
    v.sectorCount = mediumSectors;
    v.clipped = found.sectors > mediumSectors;
    const uint64_t mib = mediumSectors / 2048;
    v.sizeText = found.label == "NTFS" ? format("%d   MB", int(mib)) : format("%llu  MB", ull(mib));
    warning = v.clipped ? format("the %s volume at sector 0 claims %llu sectors, but the medium holds %llu: "
                                 "listed clipped to the medium",
                                 found.label.c_str(), ull(found.sectors), ull(mediumSectors))
                        : std::string();
    return v;
}

std::string pastEndWarning(int entry, int64_t start, uint64_t mediumSectors) {
    return format("partition entry %d starts at sector %lld, past the end of the medium (%llu sectors): not listed",
                  entry, static_cast<long long>(start), ull(mediumSectors));
}

std::string clippedWarning(int entry, int64_t start, uint64_t listedSectors, uint64_t mediumSectors) {
    return format("partition entry %d runs past the end of the medium (%llu sectors): listed clipped to %llu "
                  "sectors from sector %lld",
                  entry, ull(mediumSectors), ull(listedSectors), static_cast<long long>(start));
}

}  // namespace quarvell
