#pragma once
// What ls, recover and search share: the image and volume options, opening the medium, and
// parsing the volume into a result tree with the parser its label dispatches to.
#include <string>
#include <vector>

#include "disk/SourceMedium.h"
#include "cli/ArgList.h"
#include "cli/VolumeOptions.h"
#include "controls/MemoryTree.h"
#include "scan/VolumeParse.h"

namespace quarvell::cli {

struct VolumeSession {
    VolumeOptions options;
    ParseMode parseMode = ParseMode::Standard;
    AdvancedChoice advanced;
    std::string image;
    SourceMedium medium;
    VolumeEntry volume;
    MemoryTree tree;
    ParseResult parsed;
    int maxCandidates = 3;         // --max for the advanced search
    bool candidatesJson = false;   // print the advanced search's finds as JSON
    bool mayListCandidates = false;  // --mode advanced without --candidate lists the finds (ls)
    bool listedCandidates = false;   // the finds were printed instead of a parse
};

// Takes --mode, the advanced choices (--candidate, --heap, --sectors-per-cluster, --formatted,
// --max) and the volume options out of args (after the command's own options).
void takeSessionOptions(ArgList& args, VolumeSession& session);
// With the image as the one positional argument: opens it, resolves the volume and parses it;
// with --mode advanced and no --candidate, when the command allows it, prints the advanced
// search's finds instead (listedCandidates). Returns kExitOk or the exit code after printing why.
int openAndParse(ArgList& args, VolumeSession& session, UiSink& sink, WorkerControl& control);

}  // namespace quarvell::cli
