#pragma once
// Runs a shell command and collects what it wrote to its standard output.
#include <sys/wait.h>

#include <cstdio>
#include <string>

struct CommandOutcome {
    int code = -1;    // the exit status; -1 when it could not start or did not exit normally
    std::string out;  // its standard output
};

inline CommandOutcome runCommand(const std::string& command) {
    CommandOutcome r;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return r;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int status = ::pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}
