#pragma once
// Runs quarvell-cli through the shell and keeps its exit code, stdout and stderr.
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "LoopDevice.h"

namespace quarvell::testing {

struct CliOutput {
    int exitCode = -1;
    std::string out, err;

    static CliOutput run(const std::string& cli, const std::string& args) {
        const std::string errFile =
            (std::filesystem::temp_directory_path() / ("quarvell-cli-err-" + std::to_string(::getpid()))).string();
        CliOutput r;
        int status = 0;
        r.out = runCommand("'" + cli + "' " + args + " 2>'" + errFile + "'", &status);
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::ifstream in(errFile);
        std::stringstream text;
        text << in.rdbuf();
        r.err = text.str();
        std::filesystem::remove(errFile);
        return r;
    }
};

}  // namespace quarvell::testing
