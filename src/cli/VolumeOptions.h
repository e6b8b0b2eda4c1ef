#pragma once
// The volume options every one-volume command takes, parsed once:
//   --volume N [--gpt]                                  row N of the standard partition scan
//   --start SECTOR [--size MIB | --sectors N] [--fs LABEL]  a volume given by hand
#include <cstdint>
#include <optional>
#include <string>

#include "disk/SourceMedium.h"
#include "cli/ArgList.h"
#include "partition/VolumeEntry.h"

namespace quarvell {
class UiSink;
}

namespace quarvell::cli {

struct VolumeOptions {
    std::optional<int64_t> volume;
    bool gpt = false;
    std::optional<int64_t> start;
    std::optional<int64_t> sizeMib;
    std::optional<int64_t> sectors;
    std::string fs;

    bool given() const { return volume.has_value() || start.has_value(); }
};

// Takes the volume options out of args; errors are recorded in args.
VolumeOptions takeVolumeOptions(ArgList& args);

// Opens the image or device read-only into app.reader. Returns kExitOk, or kExitBadInput after
// printing why (missing path, a directory, no permission).
int openMedium(const std::string& path, SourceMedium& app);

// Turns the options into a VolumeEntry on the opened medium (running the standard scan for
// --volume). Returns kExitOk, or an exit code after printing the reason.
int resolveVolume(const VolumeOptions& options, SourceMedium& app, UiSink& sink, VolumeEntry& out);

}  // namespace quarvell::cli
