// quarvell-cli: the scripting face of the recovery core.
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <string>
#include <utility>
#include <vector>

#include "cli/CliCommand.h"
#include "cli/CommandLine.h"

#ifndef QUARVELL_VERSION
#define QUARVELL_VERSION "unknown"
#endif

namespace quarvell::cli {

namespace {
std::vector<Command>& registry() {
    static std::vector<Command> list;
    return list;
}

}  // namespace

CommandRegistrar::CommandRegistrar(Command command) { registry().push_back(std::move(command)); }

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
        std::fputs(programHelp().c_str(), stdout);
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
                    std::fputs(commandHelp(c).c_str(), stdout);
                    return kExitOk;
                }
            if (const std::string problem = checkArguments(c, args); !problem.empty()) return badInput(problem);
            return c.run(args);
        }
    }
    return badInput("unknown command '" + name + "' (see --help)");
}
