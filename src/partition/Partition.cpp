#include "partition/Partition.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "common/Bytes.h"
#include "common/TextFormat.h"
#include "common/UiSink.h"
#include "common/Utf.h"
#include "common/WorkerControl.h"
#include "disk/SalvagingRead.h"
#include "disk/readWriteInterface.h"
#include "disk/BootRecord.h"
#include "partition/GptHeader.h"
#include "partition/MediumFit.h"

namespace quarvell {

namespace {

constexpr uint32_t kSector = 512;
constexpr uint32_t kBlock = 1024 * 1024;
// The whole-drive scan reads each block in pieces this large and looks at a piece right after
// reading it, while it is still in the processor's cache; pieces a skip jumps over are not read.
constexpr int64_t kPieceSectors = 256;
constexpr int kMaxExtendedRecords = 50;
constexpr uint32_t kGptEntryBytes = 0x2800;   // 80 entries of 128 bytes
constexpr uint32_t kGptEntryLimit = 0x2400;   // at most 72 entries are looked at

long long ll(int64_t v) { return static_cast<long long>(v); }
long long ll(uint64_t v) { return static_cast<long long>(v); }

// Largest sector number whose byte offset (plus a few sectors) still fits a signed 64-bit value.
constexpr int64_t kMaxSector = INT64_MAX / kSector - 8;

// The status text of a boot-record find other than NTFS (whose text carries a count).
const char* foundText(const std::string& label) {
    if (label == "FAT32") return "found FAT 32...";
    if (label == "FAT16") return "found FAT 16...";
    if (label == "FAT12") return "found FAT 12...";
    if (label == "FAT64") return "found FAT 64...";
    if (label == "extX") return "found ext2...";
    return "found HFS+...";
}

// Through the salvaging read: a failed read is retried on the exact sectors (uncached on a
// block device), so a bad sector beside a table never costs the table.
bool readAt(readWriteInterface& r, int64_t byteOffset, uint8_t* buf, uint32_t n) {
    std::memset(buf, 0, n);
    return readSalvaging(r, byteOffset, buf, n, kSector) == 0;
}

}  // namespace

bool Partition::isExfatAt(readWriteInterface& reader, int64_t sector) {
    if (sector < 0 || sector > kMaxSector) return false;
    uint8_t s[kSector];
    if (!readAt(reader, sector * kSector, s, kSector)) return false;
    return classifyBootRecord(s, false).label == "FAT64";
}

bool Partition::isHfsPlusAt(readWriteInterface& reader, int64_t sector) {
    if (sector < 0 || sector > kMaxSector) return false;
    uint8_t s[4 * kSector];
    if (!readAt(reader, sector * kSector, s, 4 * kSector)) return false;
    return classifyVolumeStart(s).label == "HFS+";
}

namespace {

// State shared by the steps of one standard scan.
struct TableWalk {
    Partition& scanner;
    readWriteInterface& reader;
    int ntfsCount = 0;
    int entryCount = 0;  // table entries met, numbered from 1 in the warnings

    void status(const std::string& text) {
        if (scanner.statusLabel && !text.empty()) scanner.statusLabel->setStatus(text);
    }

    bool stopped() const { return scanner.control && scanner.control->poll(); }

    // MiB of a sector count, 0 for counts whose bytes do not fit a signed 64-bit value.
    static int64_t mibOf(uint64_t sectors) {
        return sectors > uint64_t(INT64_MAX) / kSector ? 0 : int64_t(sectors * kSector / 1048576);
    }

    void append(const std::string& label, const std::string& sizeText, int64_t start, uint64_t sectors) {
        VolumeEntry v;
        v.fileSystem = label;
        v.volumeName = format("%d", int(scanner.resultsPage->size()));
        v.sizeText = sizeText;
        v.startSector = start;
        v.sectorCount = sectors;
        scanner.resultsPage->push_back(v);
    }

    // A sector that lies (even partly) past the end of a medium of known length: a table that
    // points there is wrong or the image is cut short, but no sector failed to read.
    bool pastEnd(int64_t sector) const {
        return reader.mediumLength != 0 && (sector < 0 || sector > kMaxSector ||
                                            uint64_t(sector + 1) * kSector > reader.mediumLength);
    }

    // A failed read of a sector on the medium counts as unreadable.
    void countUnreadable(int64_t sector) {
        if (!pastEnd(sector)) ++scanner.unreadableSectors;
    }

    // Reads a sector the scan can go on without: an unreadable one counts and reads as zeros.
    void readSectors(int64_t sector, uint8_t* buf, uint32_t count) {
        std::memset(buf, 0, size_t(count) * kSector);
        if (sector < 0 || sector > kMaxSector) return;  // no medium is that large
        for (uint32_t i = 0; i < count; ++i)
            if (!readAt(reader, (sector + i) * kSector, buf + i * kSector, kSector)) countUnreadable(sector + i);
    }

    // One partition-table entry of type `type`, first sector `start`, `count` sectors.
    void tableEntry(uint8_t type, int64_t start, uint32_t tableCount, bool logical) {
        // An entry past the medium's end is no volume; one running past it is cut to it.
        uint64_t count = tableCount;
        const int entry = ++entryCount;
        const uint64_t mediumSectors = reader.mediumLength / kSector;
        const EntryFit fit = fitToMedium(start, count, mediumSectors);
        if (fit == EntryFit::PastEnd) {
            status(pastEndWarning(entry, start, mediumSectors));
            return;
        }
        std::string label;
        std::string text;
        switch (type) {
            case 0x01: label = "FAT12"; break;
            case 0x04: case 0x06: case 0x0E: label = "FAT16"; text = "found FAT 16..."; break;
            case 0x07:
                if (Partition::isExfatAt(reader, start)) {
                    label = "FAT64";
                    text = "found FAT64...";
                } else {
                    label = "NTFS";
                    text = logical ? "found NTFS..." : format("found NTFS %d...", ++ntfsCount);
                }
                break;
            case 0x0B: case 0x0C: label = "FAT32"; text = "found FAT 32..."; break;
            case 0x42:
                if (!logical) {
                    label = "NTFS";
                    text = "NTFS...";
                    break;
                }
                [[fallthrough]];
            case 0x83:
                if (type == 0x83) {
                    label = "extX";
                    text = logical ? "found extx..." : "found ext2...";
                    break;
                }
                [[fallthrough]];
            default: label = "Unknown"; text = "found UNKNOWN..."; break;
        }
        status(text);
        const int64_t mib = int64_t(count / 2048);
        append(label, logical ? format("%d   MB", int(mib)) : format("%lld   MB", ll(mib)), start, count);
        if (fit == EntryFit::Clipped) {
            scanner.resultsPage->back().clipped = true;
            status(clippedWarning(entry, start, count, mediumSectors));
        }
    }

    // A medium that is one volume from its first sector on.
    void wholeMedium(const BootRecordMatch& found) {
        std::string warning;
        const VolumeEntry v = wholeMediumVolume(found, reader.mediumLength / kSector, warning);
        if (v.sectorCount == 0) return;
        status(found.label == "NTFS" ? format("found NTFS %d...", ++ntfsCount) : std::string(foundText(found.label)));
        scanner.resultsPage->push_back(v);
        status(warning);
    }

    void gptPath(uint8_t* header) {
        scanner.tableWarning = pickGptHeader(reader, header + kSector);
        // The entry array's first sector, as the header gives it.
        const uint64_t entryLba = le64(header + kSector + 0x48);
        const uint64_t mediumSectors = reader.mediumLength / kSector;
        if (entryLba == 0 || entryLba > uint64_t(kMaxSector) || (mediumSectors != 0 && entryLba >= mediumSectors))
            return;
        std::vector<uint8_t> entries(kGptEntryBytes, 0);
        if (!readAt(reader, int64_t(entryLba * kSector), entries.data(), kGptEntryBytes)) {
            // Entries past a failing sector read as zeros, which ends the walk there.
            std::vector<uint8_t> sector(kSector);
            for (uint32_t off = 0; off < kGptEntryBytes; off += kSector) {
                if (!readAt(reader, int64_t(entryLba * kSector + off), sector.data(), kSector)) {
                    countUnreadable(int64_t(entryLba + off / kSector));
                    std::fill(entries.begin() + off, entries.end(), 0);
                    break;
                }
                std::memcpy(entries.data() + off, sector.data(), kSector);
            }
        }
        for (uint32_t off = 0; off < kGptEntryLimit; off += 128) {
            const uint8_t* e = entries.data() + off;
            static const uint8_t unused[16] = {};
            if (std::memcmp(e, unused, 16) == 0) continue;  // an unused slot
            if (e[0] == 0x30 || e[1] == 0x30 || e[2] == 0x30 || e[3] == 0x30) break;
            const uint64_t first = le64(e + 0x20);
            const uint64_t last = le64(e + 0x28);
            if (first <= 2) break;
            if (first > uint64_t(kMaxSector)) continue;  // no disk is that large
            size_t nameUnits = 0;
            while (nameUnits < 36 && (e[0x38 + 2 * nameUnits] | e[0x39 + 2 * nameUnits])) ++nameUnits;
            const std::string name = utf16leToUtf8(e + 0x38, nameUnits);
            if (name == "Microsoft reserved partition") continue;
            uint8_t head[4 * kSector];
            readSectors(int64_t(first), head, 4);
            const uint64_t tableSectors = last >= first ? last - first + 1 : 0;
            BootRecordMatch m = classifyBootRecord(head, false);
            uint64_t extSectors = 0;
            // A find whose size in MiB is not positive is not listed.
            if (m.label == "NTFS") {
                const int64_t mib = mibOf(m.sectors);
                if (mib > 0) {
                    status(format("found NTFS %d...", ++ntfsCount));
                    append(m.label, format("%d   MB", int(mib)), int64_t(first), m.sectors);
                }
            } else if (!m.label.empty()) {
                const int64_t mib = mibOf(m.sectors);
                if (mib > 0) {
                    status(foundText(m.label));
                    append(m.label, format("%lld  MB", ll(mib)), int64_t(first), m.sectors);
                }
            } else if (extSuperblock(head, &extSectors)) {
                const int64_t mib = mibOf(extSectors);
                if (mib > 0) {
                    status("found ext2...");
                    append("extX", format("%lld  MB", ll(mib)), int64_t(first), extSectors);
                }
            } else {
                const int64_t mib = int64_t((last >= first ? last - first : 0) / 2048);
                if (mib > 0) {
                    const std::string label = Partition::isHfsPlusAt(reader, int64_t(first)) ? "HFS+" : name;
                    append(label, format("%lld", ll(mib)), int64_t(first), tableSectors);
                }
            }
            if (stopped()) return;
        }
    }

    void mbrPath(const uint8_t* mbr) {
        int64_t extendedBase = -1;
        for (int slot = 0; slot < 4; ++slot) {
            const uint8_t* e = mbr + 446 + slot * 16;
            const uint8_t type = e[4];
            if (type == 0) continue;
            if (type == 0x05 || type == 0x0F) {
                if (extendedBase < 0) extendedBase = le32(e + 8);
                continue;
            }
            tableEntry(type, le32(e + 8), le32(e + 12), false);
            if (stopped()) return;
        }
        if (extendedBase < 0) return;
        std::set<int64_t> visited;
        int64_t ebr = extendedBase;
        for (int records = 0; records < kMaxExtendedRecords; ++records) {
            if (!visited.insert(ebr).second) break;  // a chain that loops back on itself
            uint8_t sector[kSector];
            if (ebr < 0 || ebr > kMaxSector || !readAt(reader, ebr * kSector, sector, kSector)) {
                countUnreadable(ebr);
                break;
            }
            int64_t next = -1;
            for (int slot = 0; slot < 4; ++slot) {
                const uint8_t* e = sector + 446 + slot * 16;
                const uint8_t type = e[4];
                if (type == 0) continue;
                if (type == 0x05 || type == 0x0F) {
                    if (next < 0) next = extendedBase + le32(e + 8);
                    continue;
                }
                tableEntry(type, ebr + le32(e + 8), le32(e + 12), true);
                if (stopped()) return;
            }
            if (next < 0) break;
            ebr = next;
        }
    }
};

}  // namespace

namespace {

// True when the only used entry of the MBR is a protective 0xEE one.
bool hasOnlyProtectiveEntry(const uint8_t* mbr) {
    int protective = 0;
    for (int slot = 0; slot < 4; ++slot) {
        const uint8_t type = mbr[446 + slot * 16 + 4];
        if (type == 0xEE) ++protective;
        else if (type != 0) return false;
    }
    return protective == 1;
}

}  // namespace

void Partition::scanPartitionTables(readWriteInterface& reader, int64_t driveSectorCount) {
    (void)driveSectorCount;
    unreadableSectors = 0;
    tableFailure.clear();
    tableWarning.clear();
    readAsGpt = false;
    reader.volumeOrigin = 0;
    std::vector<VolumeEntry> local;
    if (!resultsPage) resultsPage = &local;
    uint8_t head[4 * kSector];
    TableWalk walk{*this, reader};
    if (reader.mediumLength < kSector) {
        // Shorter than a sector (an empty image): no table, and nothing that failed to read.
    } else if (!readAt(reader, 0, head, kSector)) {
        // Without the MBR a GPT disk still has its header: read the GPT when sector 1 is one.
        const bool header = readAt(reader, kSector, head + kSector, kSector) &&
                            (gptMode || std::memcmp(head + kSector, "EFI PART", 8) == 0);
        if (header) {
            ++unreadableSectors;
            readAsGpt = true;
            walk.gptPath(head);
        } else {
            tableFailure = kSectorZeroUnreadableText;
        }
    } else {
        // A file system from sector 0 on (a copy of one partition, a card without a table): a
        // kind's boot record there makes the whole medium that volume, unless a GPT header
        // follows; an ext superblock or HFS+ header 1024 bytes in does when no table is valid.
        const bool restRead = readAt(reader, kSector, head + kSector, 3 * kSector);
        const BootRecordMatch whole = classifyVolumeStart(head);
        const bool gptHeader = restRead && std::memcmp(head + kSector, "EFI PART", 8) == 0;
        // A GPT disk shows one protective entry to MBR readers; its header in sector 1 says GPT.
        const bool protective = hasOnlyProtectiveEntry(head);
        if (!whole.label.empty() && whole.sectorsBefore == 0 && !gptHeader) {
            walk.wholeMedium(whole);
        } else {
            if (gptMode || protective) {
                if (!readAt(reader, kSector, head + kSector, kSector)) tableFailure = kGptHeaderUnreadableText;
                else readAsGpt = gptMode || std::memcmp(head + kSector, "EFI PART", 8) == 0;
            }
            if (tableFailure.empty()) {
                const size_t listedBefore = resultsPage->size();
                if (readAsGpt) walk.gptPath(head);
                else if (hasTableSignature(head)) walk.mbrPath(head);
                if (resultsPage->size() == listedBefore && !whole.label.empty() && !walk.stopped())
                    walk.wholeMedium(whole);
            }
        }
    }
    if (!tableWarning.empty() && statusLabel) statusLabel->setStatus(tableWarning);
    // The page that runs the scan shows a table failure as a message too.
    if (!tableFailure.empty()) {
        if (statusLabel) statusLabel->setStatus(tableFailure);
    } else if (unreadableSectors > 0 && statusLabel) {
        statusLabel->setStatus(format("%lld unreadable sectors skipped", ll(unreadableSectors)));
    }
    if (control && control->stopRequested.load()) control->clear();
    if (resultsPage == &local) resultsPage = nullptr;
}

void Partition::scanDriveForVolumes(readWriteInterface& reader, int64_t driveSectorCount) {
    auto status = [this](const std::string& t) {
        if (statusLabel) statusLabel->setStatus(t);
    };
    // Once per block: wait at the pause gate, then look at the flags.
    auto stopNow = [this]() { return control && control->poll(); };
    // Between sectors: only the flags, never the gate.
    auto stopAsked = [this]() {
        return control && (control->stopRequested.load(std::memory_order_relaxed) ||
                           control->abortRequested.load(std::memory_order_relaxed));
    };
    unreadableSectors = 0;
    reader.volumeOrigin = 0;
    status("Scanning partition.....");
    if (control) control->clear();
    if (statusLabel) statusLabel->setProgressRange(0, 1000);

    const int64_t startSector = customStartSector > 0 ? customStartSector : 0;
    const int64_t endByte = customEndSector > 0 ? customEndSector * int64_t(kSector) : 0;
    if (driveSectorCount <= startSector) return;

    std::vector<uint8_t> block(kBlock);
    int64_t position = startSector * int64_t(kSector);
    int64_t current = startSector;
    int found = 0;
    int ntfsFound = 0;
    // Volumes listed, by start and label: the backup superblocks of a volume name it once.
    std::set<std::pair<int64_t, std::string>> listed;
    while (current < driveSectorCount) {
        if (stopNow()) {
            status("Scanned Partitions");
            break;
        }
        if (endByte > 0 && endByte < position) break;
        // The last block may be shorter than 1 MiB: walk only what the medium holds.
        const int64_t left = (driveSectorCount - current) * int64_t(kSector);
        const uint32_t length = uint32_t(left < int64_t(kBlock) ? left : kBlock);
        const int64_t sectorsInBlock = length / kSector;
        int64_t i = 0;
        int64_t readTo = 0;  // sectors of this block read so far
        bool stopped = false;
        for (; i < sectorsInBlock; ++i) {
            if (stopAsked()) {
                stopped = true;
                break;
            }
            if (i >= readTo) {
                const int64_t n = std::min<int64_t>(kPieceSectors, sectorsInBlock - i);
                unreadableSectors += int64_t(readSalvaging(reader, position + i * int64_t(kSector),
                                                           block.data() + i * kSector, uint32_t(n * kSector)) /
                                             kSector);
                readTo = i + n;
            }
            const uint8_t* s = block.data() + i * kSector;
            BootRecordMatch m = classifyBootRecord(s, true);
            if (m.label.empty()) continue;
            const int64_t mib = int64_t(m.sectors / 2048);
            if (mib <= 0) continue;
            // A structure that lies inside its volume (an HFS+ header, an ext superblock) names
            // a volume starting before it, never one starting before the medium.
            const int64_t here = (position + i * int64_t(kSector)) / int64_t(kSector);
            if (m.sectorsBefore > uint64_t(here)) continue;
            VolumeEntry v;
            v.startSector = here - int64_t(m.sectorsBefore);
            if (!listed.emplace(v.startSector, m.label).second) continue;
            v.fileSystem = m.label;
            v.volumeName = format("%d", found++);
            v.sectorCount = m.sectors;
            if (m.label == "NTFS") {
                v.sizeText = format("%d   MB", int(mib));
                status(format("found NTFS %d...", ++ntfsFound));
            } else {
                v.sizeText = format("%lld  MB", ll(mib));
                status(foundText(m.label));
            }
            if (resultsPage) resultsPage->push_back(v);
            if (onFound) onFound(v);
            if (skipVolumeSize) {
                // Go on at the first sector after the volume (for NTFS after the backup boot
                // sector that follows its counted sectors), never backwards, never past the end.
                const uint64_t volumeStart = uint64_t(v.startSector);
                const uint64_t rest = uint64_t(driveSectorCount) - volumeStart;
                const uint64_t span = m.sectors + (m.label == "NTFS" ? 1 : 0);
                const int64_t next = int64_t(volumeStart + (span < rest ? span : rest));
                if (next - current - 1 > i) i = next - current - 1;
            }
        }
        if (stopped) {
            status("Scanned Partitions");
            break;
        }
        position += i * int64_t(kSector);
        current += i;
        if (statusLabel && driveSectorCount > 0) {
            const int64_t shown = current < driveSectorCount ? current : driveSectorCount;
            statusLabel->setProgressPos(int64_t((long double)shown / (long double)driveSectorCount * 1000));
        }
    }
    if (unreadableSectors > 0) status(format("%lld unreadable sectors skipped", ll(unreadableSectors)));
    if (control) control->clear();  // a Stop ends this scan only
}

}  // namespace quarvell
