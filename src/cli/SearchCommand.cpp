// search: the files whose names match a regular expression, with their texts.
#include <cstdio>
#include <memory>

#include "cli/CliCommand.h"
#include "cli/CliSink.h"
#include "cli/JobControl.h"
#include "cli/LeftOut.h"
#include "cli/Json.h"
#include "cli/TreePath.h"
#include "cli/VolumeSession.h"
#include "scan/FileSearch.h"

namespace quarvell::cli {

namespace {

int runSearch(std::vector<std::string>& argv) {
    ArgList args(argv);
    const auto pattern = args.value("--pattern");
    const bool asJson = args.flag("--json");
    VolumeSession session;
    takeSessionOptions(args, session);
    if (!args.ok()) return badInput(args.error());
    if (!pattern) return badInput("--pattern is required");
    if (!pattern->empty() && !FileSearch::compile(*pattern)) {
        std::fprintf(stderr, "%s\n", kInvalidPatternText);
        return kExitBadInput;
    }

    CliSink sink;
    WorkerControl& control = jobControl();
    if (int rc = openAndParse(args, session, sink, control)) return exitCodeAfterSignals(rc);
    uint64_t found = 0;
    FileSearch search(session.tree, *session.parsed.adapter, sink, control);
    std::unique_ptr<JsonArrayWriter> json;
    if (asJson) json = std::make_unique<JsonArrayWriter>();
    search.run(*pattern, [&](const SearchRow& row) {
        std::vector<std::string> parts;
        for (const std::string& p : row.path) parts.push_back(escapePathText(p));
        const std::string path = joinPath(parts);
        ++found;
        if (json) {
            json->beginObject();
            json->field("path", path);
            json->field("creation", row.texts.creation);
            json->field("access", row.texts.access);
            json->field("modification", row.texts.modification);
            json->field("size", row.size);
            json->field("attributes", row.texts.attributes);
            json->endObject();
        } else {
            std::printf("%12s  %-20s  %s\n", row.size.c_str(), row.texts.modification.c_str(), path.c_str());
        }
    });
    json.reset();
    std::fprintf(stderr, "%llu files found%s\n", static_cast<unsigned long long>(found),
                 leftOutText(search.leftOutTooDeep(), search.leftOutLoops()).c_str());
    if (stopSignal()) return exitCodeAfterSignals(kExitFailed);
    const bool lost = session.parsed.unreadableMetadata > 0 || search.leftOutTooDeep() > 0 || search.leftOutLoops() > 0;
    return lost ? kExitIncomplete : kExitOk;
}

const OptionGroup kSearchOptions{
    "Search options",
    {
        {"--pattern", "REGEX", "the regular expression names are matched with (case-insensitive)"},
        {"--json", nullptr, "one object per match"},
    }};

CommandRegistrar reg({"search", "IMAGE VOLUME-OPTIONS --pattern REGEX [OPTIONS]",
                      "list the files whose names match a regular expression",
                      {&volumeOptionGroup(), &parseModeOptionGroup(), &kSearchOptions}, runSearch});

}  // namespace

}  // namespace quarvell::cli
