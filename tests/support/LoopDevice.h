#pragma once
// A loop device over a file for tests that need a real block device (root only): attached in the
// constructor, detached in the destructor. `skipReason()` says why none could be had.
#include <unistd.h>

#include <cstdio>
#include <string>

namespace quarvell::testing {

inline std::string runCommand(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return out;
    char buf[512];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
    const int rc = ::pclose(pipe);
    if (status) *status = rc;
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

class LoopDevice {
public:
    // "-P" in `options` scans the partition table (partitions appear as /dev/loopNpK).
    explicit LoopDevice(const std::string& file, const std::string& options = "") {
        if (::geteuid() != 0) {
            reason_ = "needs root for a loop device";
            return;
        }
        if (runCommand("command -v losetup").empty()) {
            reason_ = "losetup is missing";
            return;
        }
        int status = 0;
        path_ = runCommand("losetup -f --show " + options + " '" + file + "' 2>/dev/null", &status);
        if (status != 0 || path_.rfind("/dev/loop", 0) != 0) {
            reason_ = "no loop device could be attached (" + path_ + ")";
            path_.clear();
        }
    }
    ~LoopDevice() {
        if (!path_.empty()) runCommand("losetup -d " + path_ + " 2>/dev/null");
    }
    LoopDevice(const LoopDevice&) = delete;
    LoopDevice& operator=(const LoopDevice&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    const std::string& skipReason() const { return reason_; }

private:
    std::string path_;
    std::string reason_;
};

}  // namespace quarvell::testing
