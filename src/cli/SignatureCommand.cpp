// signature add: appends one signature record to a settings file with the editor's rules.
#include "cli/ArgList.h"
#include "cli/CliCommand.h"
#include "cli/CliSink.h"
#include "raw/SignatureEditor.h"

namespace quarvell::cli {

namespace {

int runSignature(std::vector<std::string>& argv) {
    ArgList args(argv);
    SignatureForm form;
    form.extension = args.value("--ext").value_or("");
    form.header = args.value("--header").value_or("");
    form.footer = args.value("--footer").value_or("");
    form.sizeFieldOffset = args.number("--size-offset").value_or(0);
    form.sizeFieldByteCount = args.number("--size-bytes").value_or(0);
    form.headerSize = args.number("--header-size").value_or(0);
    form.sizeIncludesHeader = args.flag("--size-includes-header");
    form.skipAmount = args.number("--skip").value_or(0);
    form.approximateSize = args.number("--approx").value_or(0);
    form.category = args.value("--category").value_or("");
    std::vector<std::string> rest = args.positional();
    if (!args.ok()) return badInput(args.error());
    if (rest.size() != 2 || rest[0] != "add") return badInput("usage: signature add FILE --ext E --header HEX,...");

    CliSink sink;
    // Everything the form says is checked before the settings file is created or opened: a
    // refused add leaves no file behind.
    if (std::string problem = SignatureEditor::formProblem(form); !problem.empty())
        return badInput(problem + " (no record was added to " + rest[1] + ")");
    SignatureEditor editor(&sink);
    if (!editor.chooseFile(rest[1])) return badInput("cannot open " + rest[1] + " for appending");
    if (!editor.appendRecord(form)) {
        editor.discardIfCreatedAndEmpty();
        return badInput("no record was added to " + rest[1]);
    }
    return kExitOk;
}

CommandRegistrar reg("signature",
                     "  signature add FILE --ext E --header HEX,... [--footer HEX,...] [--size-offset N]\n"
                     "      [--size-bytes N] [--header-size N] [--size-includes-header] [--skip N]\n"
                     "      [--approx N] [--category C]\n"
                     "      append a signature record to a settings file (created when missing)",
                     runSignature);

}  // namespace

}  // namespace quarvell::cli
