#pragma once
// What ls, recover and search share: the image and volume options, opening the medium, and
// parsing the volume into a result tree with the parser its label dispatches to.
#include <string>
#include <vector>

#include "app/core/CTessmorApp.h"
#include "cli/ArgList.h"
#include "cli/VolumeOptions.h"
#include "controls/MemoryTree.h"
#include "scan/VolumeParse.h"

namespace quarvell::cli {

struct VolumeSession {
    VolumeOptions options;
    int parseMode = kParseStandard;
    std::string image;
    CTessmorApp app;
    VolumeEntry volume;
    MemoryTree tree;
    ParsedVolume parsed;
};

// Takes --mode and the volume options out of args (after the command's own options).
void takeSessionOptions(ArgList& args, VolumeSession& session);
// With the image as the one positional argument: opens it, resolves the volume and parses it.
// Returns kExitOk or the exit code after printing why.
int openAndParse(ArgList& args, VolumeSession& session, UiSink& sink);

}  // namespace quarvell::cli
