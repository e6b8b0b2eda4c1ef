// quarvell-cli: the scripting face of the recovery core.
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <string>
#include <vector>

#include "cli/CliCommand.h"

#ifndef QUARVELL_VERSION
#define QUARVELL_VERSION "unknown"
#endif

namespace quarvell::cli {

namespace {
std::vector<Command>& registry() {
    static std::vector<Command> list;
    return list;
}

void printHelp() {
    std::printf(
        "usage: quarvell-cli COMMAND [ARGUMENTS]  (quarvell-cli COMMAND --help for one command)\n"
        "       quarvell-cli --version\n\n"
        "quarvell-cli: read-only data recovery from disks and disk images\n"
        "Images may be raw (also split: NAME.000/.001/.aa ...), EWF (.E01), VHD/VHDX, VMDK or QCOW2.\n\n"
        "Commands:\n");
    for (const auto& c : commands()) std::printf("%s\n", c.usage);
    std::printf(
        "\nVolume options (commands that work on one volume):\n"
        "  --volume N [--gpt]                         row N of the standard partition scan\n"
        "  --start SECTOR (--size MIB | --sectors N) --fs LABEL\n"
        "                                             a volume given by hand; without a size\n"
        "                                             it runs to the end of the medium\n"
        "\nExit codes: 0 the job ran to its end, 1 it could not do what was asked, 2 bad input.\n");
}
}  // namespace

CommandRegistrar::CommandRegistrar(const char* name, const char* usage, CommandFn run) {
    registry().push_back({name, usage, run});
}

const std::vector<Command>& commands() { return registry(); }

int badInput(const std::string& message) {
    std::fprintf(stderr, "quarvell-cli: %s\n", message.c_str());
    return kExitBadInput;
}

int failed(const std::string& message) {
    std::fprintf(stderr, "quarvell-cli: %s\n", message.c_str());
    return kExitFailed;
}

}  // namespace quarvell::cli

int main(int argc, char** argv) {
    using namespace quarvell::cli;
    // Status lines going to a file or pipe are written in blocks (the sink flushes them a few
    // times a second) instead of one system call per line: a save of many small files prints
    // one line per file.
    static char errorBuffer[1 << 16];
    if (::isatty(STDERR_FILENO) != 1) std::setvbuf(stderr, errorBuffer, _IOFBF, sizeof errorBuffer);
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help")) {
        printHelp();
        return argc < 2 ? kExitBadInput : kExitOk;
    }
    if (!std::strcmp(argv[1], "--version") || !std::strcmp(argv[1], "-V")) {
        std::printf("quarvell-cli %s\n", QUARVELL_VERSION);
        return kExitOk;
    }
    std::string name = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const auto& c : commands()) {
        if (name == c.name) {
            for (const auto& a : args)
                if (a == "--help" || a == "-h") {
                    std::printf("usage: quarvell-cli %s\n", c.usage + std::strspn(c.usage, " "));
                    return kExitOk;
                }
            return c.run(args);
        }
    }
    return badInput("unknown command '" + name + "' (see --help)");
}
