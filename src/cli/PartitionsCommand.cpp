// `partitions`: the volume list of a disk or image, by its partition tables or by a scan of
// every sector.
#include <cstdio>
#include <vector>

#include "disk/SourceMedium.h"
#include "cli/ArgList.h"
#include "cli/CliCommand.h"
#include "cli/CliSink.h"
#include "cli/JobControl.h"
#include "cli/Json.h"
#include "cli/VolumeOptions.h"
#include "common/TextFormat.h"
#include "partition/Partition.h"

namespace quarvell::cli {

namespace {

int run(std::vector<std::string>& raw) {
    ArgList args(raw);
    const bool json = args.flag("--json");
    const bool gpt = args.flag("--gpt");
    const bool advanced = args.flag("--advanced");
    const bool noSkip = args.flag("--no-skip");
    const auto start = args.number("--start");
    const auto end = args.number("--end");
    const auto pos = args.positional();
    if (!args.ok()) return badInput(args.error());
    if (pos.size() != 1) return badInput("usage: partitions IMAGE_OR_DEVICE [--gpt] [--advanced [--start N] [--end N] [--no-skip]] [--json]");
    if (!advanced && (start || end || noSkip)) return badInput("--start, --end and --no-skip go with --advanced");
    if (advanced && gpt) return badInput("--gpt goes with the standard scan, not --advanced");
    if ((start && *start < 0) || (end && *end < 0)) return badInput("sector numbers cannot be negative");

    SourceMedium app;
    if (int rc = openMedium(pos[0], app); rc != kExitOk) return rc;
    CliSink sink;
    std::vector<VolumeEntry> rows;
    Partition scanner;
    scanner.statusLabel = &sink;
    scanner.resultsPage = &rows;
    scanner.control = &jobControl();
    if (advanced) {
        scanner.skipVolumeSize = !noSkip;
        scanner.customStartSector = start.value_or(0);
        scanner.customEndSector = end.value_or(0);
        scanner.scanDriveForVolumes(*app.reader, app.driveSectorCount);
        sink.setStatus("Scanned Partitions");
    } else {
        scanner.gptMode = gpt;
        sink.setProgressRange(0, 1000);
        scanner.scanPartitionTables(*app.reader, app.driveSectorCount);
        sink.setProgressPos(1000);
        // The volume list numbers the rows of a standard scan 0, 1, 2 in the order found.
        for (size_t i = 0; i < rows.size(); ++i) rows[i].volumeName = format("%zu", i);
    }
    // Sector 0 or the GPT header could not be read: the status line said so, and there is no
    // table to show (an empty one would look like a disk without volumes).
    if (!scanner.tableFailure.empty()) return exitCodeAfterSignals(kExitFailed);
    sink.setStatus("Finished Scanning.");

    if (json) {
        JsonArrayWriter out;
        for (const auto& v : rows) {
            out.beginObject();
            out.field("volumeName", v.volumeName);
            out.field("fileSystem", v.fileSystem);
            out.field("sizeText", v.sizeText);
            out.field("startSector", int64_t(v.startSector));
            out.field("sectorCount", uint64_t(v.sectorCount));
            if (v.clipped) out.field("clipped", true);  // cut at the medium's end
            out.endObject();
        }
    } else {
        std::printf("%-8s %-14s %-14s %s\n", "VOLUME", "FILE_SYSTEM", "VOLUME_SIZE", "START_SECTOR");
        for (const auto& v : rows)
            std::printf("%-8s %-14s %-14s %lld\n", v.volumeName.c_str(), v.fileSystem.c_str(), v.sizeText.c_str(),
                        static_cast<long long>(v.startSector));
    }
    // Sectors read as zeros (counted on the status line) may have hidden a volume, and a
    // damaged GPT header may not give the disk's table.
    if (!scanner.tableWarning.empty()) std::fprintf(stderr, "quarvell-cli: %s\n", scanner.tableWarning.c_str());
    const bool doubtful = scanner.unreadableSectors > 0 || !scanner.tableWarning.empty();
    return exitCodeAfterSignals(doubtful ? kExitIncomplete : kExitOk);
}

const OptionGroup kPartitionsOptions{
    "Scan options",
    {
        {"--gpt", nullptr, "read the partition table as GPT (also found by itself behind a protective MBR)"},
        {"--advanced", nullptr, "scan every sector for volumes instead of reading the tables"},
        {"--start", "N", "with --advanced: the first sector scanned"},
        {"--end", "N", "with --advanced: the last sector scanned"},
        {"--no-skip", nullptr, "with --advanced: look inside the volumes found too"},
        {"--json", nullptr, "one object per volume: volumeName, fileSystem, sizeText, startSector,\n"
                            "sectorCount, and clipped: true on a volume cut at the medium's end"},
    }};

const CommandRegistrar reg({"partitions", "IMAGE_OR_DEVICE [OPTIONS]",
                            "list the volumes found by the partition tables (MBR/EBR or GPT), the one\n"
                            "volume of a medium that holds a file system from its first sector on, or,\n"
                            "with --advanced, the volumes a scan of every sector finds",
                            {&kPartitionsOptions}, run});

}  // namespace
}  // namespace quarvell::cli
