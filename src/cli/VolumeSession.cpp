#include "cli/VolumeSession.h"

#include "cli/CliCommand.h"

namespace quarvell::cli {

void takeSessionOptions(ArgList& args, VolumeSession& s) {
    s.options = takeVolumeOptions(args);
    if (auto mode = args.value("--mode")) {
        if (*mode == "standard") s.parseMode = kParseStandard;
        else if (*mode == "deep") s.parseMode = kParseDeep;
        else args.fail("--mode takes standard or deep");
    }
}

int openAndParse(ArgList& args, VolumeSession& s, UiSink& sink) {
    std::vector<std::string> rest = args.positional();
    if (!args.ok()) return badInput(args.error());
    if (rest.size() != 1) return badInput("expected one image or device path");
    s.image = rest[0];
    if (int rc = openMedium(s.image, s.app)) return rc;
    if (int rc = resolveVolume(s.options, s.app, sink, s.volume)) return rc;
    s.parsed = parseVolume(s.volume, *s.app.reader, s.tree, sink, s.parseMode);
    if (!s.parsed.completed) return failed(s.parsed.failure);
    return kExitOk;
}

}  // namespace quarvell::cli
