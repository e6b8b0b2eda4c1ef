#pragma once
// Subcommand registry of quarvell-cli: each command file registers itself with a static
// CommandRegistrar that carries its one description (arguments, summary, option groups), so
// adding a command touches no other file. The help texts and the check of a command line are
// made from these descriptions (CommandLine.cpp).
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

// One option: its name, the placeholder of its value (null for a flag) and what it does.
struct OptionSpec {
    const char* name;
    const char* value;
    std::string help;
};

// Options that belong together; the shared groups are described once and listed by every
// command that takes them.
struct OptionGroup {
    std::string title;
    std::vector<OptionSpec> options;
};

struct Command {
    const char* name;
    const char* arguments;  // the positional arguments and the options it needs, as usage shows them
    const char* summary;    // what it does
    std::vector<const OptionGroup*> groups;
    CommandFn run;
};

struct CommandRegistrar {
    explicit CommandRegistrar(Command command);
};

const std::vector<Command>& commands();

// The groups several commands share: the volume options, and the parsing mode with the
// advanced road's choices (its modes listed from the file-system table).
const OptionGroup& volumeOptionGroup();
const OptionGroup& parseModeOptionGroup();

// Prints "quarvell-cli: <message>" on stderr and returns kExitBadInput.
int badInput(const std::string& message);
// Prints "quarvell-cli: <message>" on stderr and returns kExitFailed.
int failed(const std::string& message);

}  // namespace quarvell::cli
