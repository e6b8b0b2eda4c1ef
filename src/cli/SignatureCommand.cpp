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

const OptionGroup kSignatureOptions{
    "Signature options",
    {
        {"--ext", "E", "the extension of the files it finds"},
        {"--header", "HEX,...", "the header bytes (1 to 10), as hexadecimal values separated by commas"},
        {"--footer", "HEX,...", "the footer bytes (up to 10)"},
        {"--size-offset", "N", "where a size field lies from the header's start"},
        {"--size-bytes", "N", "the size field's width (1 to 8 bytes)"},
        {"--header-size", "N", "bytes added to the size read"},
        {"--size-includes-header", nullptr, "the size read counts the header already"},
        {"--skip", "N", "bytes to go on after a find"},
        {"--approx", "N", "the files' approximate size"},
        {"--category", "C", "the category the finds are listed under"},
    }};

CommandRegistrar reg({"signature", "add FILE --ext E --header HEX,... [OPTIONS]",
                      "append a signature record to a settings file (created when missing)", {&kSignatureOptions},
                      runSignature});

}  // namespace

}  // namespace quarvell::cli
