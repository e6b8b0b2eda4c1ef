#include "cli/VolumeOptions.h"

#include <vector>

#include "cli/CliCommand.h"
#include "cli/CliSink.h"
#include "common/TextFormat.h"
#include "partition/Partition.h"

namespace quarvell::cli {

VolumeOptions takeVolumeOptions(ArgList& args) {
    VolumeOptions o;
    o.volume = args.number("--volume");
    o.gpt = args.flag("--gpt");
    o.start = args.number("--start");
    o.sizeMib = args.number("--size");
    o.sectors = args.number("--sectors");
    if (auto fs = args.value("--fs")) o.fs = *fs;
    if (o.volume && o.start) args.fail("--volume and --start cannot be used together");
    if (o.volume && *o.volume < 0) args.fail("--volume takes a row number from 0");
    if (o.start && *o.start < 0) args.fail("--start takes a sector number from 0");
    if (o.sizeMib && o.sectors) args.fail("--size and --sectors cannot be used together");
    if ((o.sizeMib || o.sectors) && !o.start) args.fail("--size and --sectors go with --start");
    if ((o.sizeMib && *o.sizeMib <= 0) || (o.sectors && *o.sectors <= 0)) args.fail("a volume size must be positive");
    if (!o.fs.empty() && !o.start) args.fail("--fs goes with --start");
    return o;
}

int openMedium(const std::string& path, SourceMedium& app) {
    app.replaceReader();
    CliSink shown;  // "invalid handle ..." comes first, then the reason
    if (!app.openReader(path, &shown)) return badInput("cannot open " + path + ": " + app.reader->lastError());
    return kExitOk;
}

int resolveVolume(const VolumeOptions& o, SourceMedium& app, UiSink& sink, VolumeEntry& out) {
    const uint64_t mediumSectors = uint64_t(app.driveSectorCount);
    if (o.volume) {
        std::vector<VolumeEntry> rows;
        Partition scanner;
        scanner.gptMode = o.gpt;
        scanner.statusLabel = &sink;
        scanner.resultsPage = &rows;
        scanner.scanPartitionTables(*app.reader, app.driveSectorCount);
        app.reader->volumeOrigin = 0;
        if (*o.volume >= int64_t(rows.size()))
            return badInput(format("there is no volume %lld (the scan found %zu)", static_cast<long long>(*o.volume),
                                   rows.size()));
        out = rows[size_t(*o.volume)];
        out.volumeName = format("%lld", static_cast<long long>(*o.volume));
        return kExitOk;
    }
    if (!o.start) return badInput("no volume given: use --volume N or --start SECTOR");
    if (uint64_t(*o.start) >= mediumSectors && mediumSectors != 0)
        return badInput(format("--start %lld lies beyond the medium's %llu sectors", static_cast<long long>(*o.start),
                               static_cast<unsigned long long>(mediumSectors)));
    VolumeEntry v;
    v.startSector = *o.start;
    v.fileSystem = o.fs;
    v.volumeName = "0";
    if (o.sectors) v.sectorCount = uint64_t(*o.sectors);
    else if (o.sizeMib) v.sectorCount = uint64_t(*o.sizeMib) * 2048;
    else v.sectorCount = mediumSectors > uint64_t(*o.start) ? mediumSectors - uint64_t(*o.start) : 0;
    v.sizeText = format("%lld", static_cast<long long>(v.sectorCount / 2048));
    out = v;
    return kExitOk;
}

}  // namespace quarvell::cli
