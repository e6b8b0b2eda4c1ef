// Fuzzes both partition scans over a disk held in memory: the table scan read as MBR and as
// GPT, and the whole-drive scan with and without jumping over found volumes. The first byte
// picks unreadable sectors and short reads, as a failing disk gives them; the rest is the disk.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FaultyReader.h"
#include "partition/Partition.h"
#include "partition/VolumeEntry.h"

namespace {

void scanAll(quarvell::testing::FaultyReader& reader) {
    const int64_t sectors = int64_t(reader.data.size() / 512);
    for (bool gpt : {false, true}) {
        std::vector<quarvell::VolumeEntry> rows;
        quarvell::Partition scanner;
        scanner.resultsPage = &rows;
        scanner.gptMode = gpt;
        scanner.scanPartitionTables(reader, sectors);
    }
    for (bool skip : {false, true}) {
        std::vector<quarvell::VolumeEntry> rows;
        quarvell::Partition scanner;
        scanner.resultsPage = &rows;
        scanner.skipVolumeSize = skip;
        scanner.scanDriveForVolumes(reader, sectors);
        for (const auto& v : rows)
            if (v.startSector < 0 || v.startSector >= sectors) __builtin_trap();  // a find outside the disk
    }
}

}  // namespace

// Undefined behaviour (an overflowing sector-to-byte product, say) counts as a crash here.
extern "C" const char* __ubsan_default_options() { return "halt_on_error=1:print_stacktrace=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > (8u << 20)) return 0;
    const uint8_t faults = data[0];
    quarvell::testing::FaultyReader reader(std::vector<uint8_t>(data + 1, data + size));
    const uint64_t diskSectors = (size - 1) / 512;
    if (faults & 1) reader.badSectors.insert(0);
    if ((faults & 2) && diskSectors > 1) reader.badSectors.insert(1 + faults % (diskSectors - 1));
    if ((faults & 4) && size > 2) reader.shortReadAt.insert((uint64_t(faults) * 977) % (size - 1));
    scanAll(reader);
    return 0;
}
