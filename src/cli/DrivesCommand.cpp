// `drives`: the physical drives and the volumes on them that this machine offers.
#include <cstdio>
#include <vector>

#include "cli/ArgList.h"
#include "cli/CliCommand.h"
#include "cli/Json.h"
#include "common/TextFormat.h"
#include "disk/DriveList.h"

namespace quarvell::cli {

namespace {

int run(std::vector<std::string>& raw) {
    ArgList args(raw);
    const bool json = args.flag("--json");
    const auto pos = args.positional();
    if (!args.ok()) return badInput(args.error());
    if (!pos.empty()) return badInput("usage: drives [--json]");

    const auto drives = listPhysicalDrives();
    const auto volumes = listVolumes();
    if (json) {
        JsonArrayWriter out;
        for (const auto& d : drives) {
            out.beginObject();
            out.field("kind", "drive");
            out.field("text", d.displayText());
            out.field("path", d.path);
            out.field("fileSystem", "");
            out.field("sizeText", format("%d  MB", int(d.sizeBytes / 1048576)));
            out.endObject();
        }
        for (const auto& v : volumes) {
            out.beginObject();
            out.field("kind", "volume");
            out.field("text", v.displayName);
            out.field("path", v.volumeName);
            out.field("fileSystem", v.fileSystem);
            out.field("sizeText", v.sizeText);
            out.endObject();
        }
        return kExitOk;
    }
    std::printf("PHYSICAL DRIVES:\n");
    for (const auto& d : drives)
        std::printf("  %-40s %s  (%d  MB)\n", d.displayText().c_str(), d.path.c_str(), int(d.sizeBytes / 1048576));
    std::printf("VOLUMES:\n");
    for (const auto& v : volumes)
        std::printf("  %-40s %-10s %s\n", v.displayName.c_str(), v.fileSystem.c_str(), v.sizeText.c_str());
    return kExitOk;
}

const OptionGroup kDrivesOptions{"Drives options", {{"--json", nullptr, "a JSON object of drives and volumes"}}};

const CommandRegistrar reg({"drives", "[--json]", "list this machine's physical drives and the volumes on them",
                            {&kDrivesOptions}, run});

}  // namespace
}  // namespace quarvell::cli
