#pragma once
// Keeps a second copy of the program from starting: a machine-wide name held for the life of the
// process. The name is an abstract Unix socket address, which the kernel releases when the process
// ends however it ends, so a crash never leaves a stale lock behind.
#include <string>

namespace quarvell {

inline constexpr const char* kInstanceGuardName = "Global\\{QUARVELLOSTRELLE}";

class InstanceGuard {
public:
    explicit InstanceGuard(const std::string& name = kInstanceGuardName);
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    // False when another process holds the name.
    bool acquired() const { return !refused_; }

private:
    int fd_ = -1;
    bool refused_ = false;
};

}  // namespace quarvell
