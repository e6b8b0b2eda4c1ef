#pragma once
// The help texts of quarvell-cli and the check of a command's arguments, both made from the
// commands' descriptions (CliCommand.h). The check runs the arguments through CLI11 against
// the options the command declares: an unknown option, or an option without its value, is
// a usage error reported in one line of our own.
#include <string>
#include <vector>

#include "cli/CliCommand.h"

namespace quarvell::cli {

// The whole program's help: every command, the shared option groups once, the exit codes.
std::string programHelp();
// One command's help: its usage, summary and every option it takes, by group.
std::string commandHelp(const Command& command);

// Empty when the arguments fit the command's options; otherwise the usage error to report.
std::string checkArguments(const Command& command, const std::vector<std::string>& args);

}  // namespace quarvell::cli
