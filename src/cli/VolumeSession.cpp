#include "cli/VolumeSession.h"

#include <cstdint>
#include <cstdio>
#include <memory>

#include "cli/CliCommand.h"
#include "cli/Json.h"

namespace quarvell::cli {

namespace {

const char* modeName(ParseMode mode) {
    switch (mode) {
        case ParseMode::Advanced: return "advanced";
        case ParseMode::Deep: return "deep";
        case ParseMode::Standard: break;
    }
    return "standard";
}

bool offered(const FileSystemKind& kind, ParseMode mode) {
    switch (mode) {
        case ParseMode::Advanced: return kind.modes.advanced;
        case ParseMode::Deep: return kind.modes.deep;
        case ParseMode::Standard: break;
    }
    return kind.modes.standard;
}

int printCandidates(VolumeSession& s, const FileSystemKind& kind, const ParseRequest& request) {
    const CandidateSearch found = kind.findCandidates(request, s.maxCandidates);
    for (const std::string& m : found.messages) std::fprintf(stderr, "%s\n", m.c_str());
    s.listedCandidates = true;
    if (s.candidatesJson) {
        JsonArrayWriter json;
        for (const auto* list : {&found.primary, &found.heap})
            for (const Candidate& c : *list) {
                json.beginObject();
                json.field("index", int64_t(c.index));
                json.field("label", c.label);
                json.field("offset", c.offset);
                json.endObject();
            }
    } else {
        for (const auto* list : {&found.primary, &found.heap})
            for (const Candidate& c : *list) std::printf("%s\n", c.label.c_str());
    }
    return found.completed ? kExitOk : kExitFailed;
}

}  // namespace

void takeSessionOptions(ArgList& args, VolumeSession& s) {
    s.options = takeVolumeOptions(args);
    if (auto mode = args.value("--mode")) {
        if (*mode == "standard") s.parseMode = ParseMode::Standard;
        else if (*mode == "deep") s.parseMode = ParseMode::Deep;
        else if (*mode == "advanced") s.parseMode = ParseMode::Advanced;
        else args.fail("--mode takes standard, advanced or deep");
    }
    const auto candidate = args.number("--candidate");
    const auto heap = args.number("--heap");
    const auto spc = args.number("--sectors-per-cluster");
    const auto max = args.number("--max");
    s.advanced.driveFormatted = args.flag("--formatted");
    const bool advanced = s.parseMode == ParseMode::Advanced;
    if ((candidate || heap || spc || max || s.advanced.driveFormatted) && !advanced)
        args.fail("--candidate, --heap, --sectors-per-cluster, --max and --formatted go with --mode advanced");
    if (candidate && (*candidate < 0 || *candidate > INT32_MAX)) args.fail("--candidate takes an index from 0");
    if (heap && (*heap < 0 || *heap > INT32_MAX)) args.fail("--heap takes an index from 0");
    if (spc && (*spc < 1 || *spc > 128 || (*spc & (*spc - 1)) != 0))
        args.fail("--sectors-per-cluster takes a power of two from 1 to 128");
    if (candidate) s.advanced.candidate = int(*candidate);
    s.advanced.heap = heap ? int(*heap) : s.advanced.candidate;
    if (spc) s.advanced.sectorsPerCluster = int(*spc);
    if (max) s.maxCandidates = *max < 1 || *max > 1000 ? 3 : int(*max);
}

int openAndParse(ArgList& args, VolumeSession& s, UiSink& sink, WorkerControl& control) {
    std::vector<std::string> rest = args.positional();
    if (!args.ok()) return badInput(args.error());
    if (rest.size() != 1) return badInput("expected one image or device path");
    s.image = rest[0];
    if (int rc = openMedium(s.image, s.medium)) return rc;
    if (int rc = resolveVolume(s.options, s.medium, sink, s.volume)) return rc;
    if (const FileSystemKind* kind = findFileSystemKind(s.volume.fileSystem)) {
        if (!offered(*kind, s.parseMode))
            return badInput(std::string("--mode ") + modeName(s.parseMode) + " is not offered for " +
                            s.volume.fileSystem + " volumes");
        if (s.advanced.driveFormatted && !kind->modes.formattedBox)
            return badInput("--formatted is not offered for " + s.volume.fileSystem + " volumes");
        if (s.parseMode == ParseMode::Advanced && s.advanced.candidate < 0) {
            ParseRequest request{s.volume, *s.medium.reader, s.tree, sink, control, s.parseMode, s.advanced};
            if (!s.mayListCandidates || !kind->findCandidates)
                return badInput("--mode advanced needs --candidate I (ls --mode advanced lists them)");
            return printCandidates(s, *kind, request);
        }
    }
    ParseRequest request{s.volume, *s.medium.reader, s.tree, sink, control, s.parseMode, s.advanced};
    s.parsed = parseVolume(request);
    if (!s.parsed.completed) return failed(s.parsed.failure);
    return kExitOk;
}

}  // namespace quarvell::cli
