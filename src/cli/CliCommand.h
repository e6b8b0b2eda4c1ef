#pragma once
// Subcommand registry of quarvell-cli: each command file registers itself with a static
// CommandRegistrar, so adding a command touches no other file.
#include <string>
#include <vector>

namespace quarvell::cli {

enum ExitCode : int {
    kExitOk = 0,          // the job ran to its end, every file complete (also when it found nothing)
    kExitFailed = 1,      // the job could not do what was asked: a parse failed, a file not saved
    kExitBadInput = 2,    // usage, missing or unreadable path, invalid argument, unsafe output
    kExitIncomplete = 3,  // every file saved but some incomplete, or metadata could not be read
};

using CommandFn = int (*)(std::vector<std::string>& args);

struct Command {
    const char* name;
    const char* usage;  // one or more lines shown by --help
    CommandFn run;
};

struct CommandRegistrar {
    CommandRegistrar(const char* name, const char* usage, CommandFn run);
};

const std::vector<Command>& commands();

// Prints "quarvell-cli: <message>" on stderr and returns kExitBadInput.
int badInput(const std::string& message);
// Prints "quarvell-cli: <message>" on stderr and returns kExitFailed.
int failed(const std::string& message);

}  // namespace quarvell::cli
