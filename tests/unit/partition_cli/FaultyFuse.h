#pragma once
// A file that fails like a worn disk, served by FUSE: /MOUNT/disk.img has the bytes of a backing
// image, except that every read touching one of the chosen sectors fails with EIO (after a chosen
// delay, as a drive retrying does). A loop device over it is a block device with bad sectors.
// libfuse is loaded at run time, so the tests build without it; `skipReason()` says why a test
// cannot have the file (not root, no /dev/fuse, no libfuse). The file is opened direct_io so every
// read reaches the handler with its own offset and length.
#define FUSE_USE_VERSION 31
#include <dlfcn.h>
#include <fcntl.h>
#include <fuse3/fuse.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

namespace quarvell::testing {

struct FaultyFilePlan {
    std::string backing;              // the image whose bytes are served
    std::set<uint64_t> badSectors;    // 512-byte sectors whose reads fail
    int delayMs = 0;                  // time each failed read takes
};

class FaultyFuse {
public:
    FaultyFuse(const FaultyFilePlan& plan, const std::string& mountPoint) : mount_(mountPoint) {
        plan_() = plan;
        if (::geteuid() != 0) { fail("needs root to mount a FUSE file system"); return; }
        if (::access("/dev/fuse", R_OK | W_OK) != 0) { fail("no /dev/fuse"); return; }
        void* lib = ::dlopen("libfuse3.so.3", RTLD_NOW);
        if (!lib) { fail("libfuse3 is missing"); return; }
        using MainFn = int (*)(int, char**, const fuse_operations*, size_t, void*);
        auto fuseMain = reinterpret_cast<MainFn>(::dlsym(lib, "fuse_main_real"));
        if (!fuseMain) { fail("libfuse3 has no fuse_main_real"); return; }
        struct stat st {};
        if (::stat(plan.backing.c_str(), &st) != 0) { fail("no backing image " + plan.backing); return; }
        size_() = uint64_t(st.st_size);
        std::filesystem::create_directories(mount_);
        child_ = ::fork();
        if (child_ == 0) {
            backingFd_() = ::open(plan.backing.c_str(), O_RDONLY);
            static fuse_operations ops{};
            ops.getattr = getattr;
            ops.open = openFile;
            ops.read = readFile;
            ops.readdir = readdir;
            std::string m = mount_;
            char a0[] = "faulty", a1[] = "-f", a2[] = "-s", a3[] = "-o", a4[] = "ro";
            char* argv[] = {a0, a1, a2, a3, a4, m.data(), nullptr};
            _exit(fuseMain(6, argv, &ops, sizeof ops, nullptr));
        }
        for (int i = 0; i < 250; ++i) {
            struct stat f {};
            if (::stat(path().c_str(), &f) == 0 && uint64_t(f.st_size) == size_()) {
                mounted_ = true;
                return;
            }
            int status = 0;
            if (::waitpid(child_, &status, WNOHANG) == child_) {
                child_ = -1;
                { fail("the FUSE file system did not start"); return; }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        fail("the FUSE file did not appear");
    }
    ~FaultyFuse() {
        if (child_ > 0) {
            std::string cmd = "fusermount3 -u '" + mount_ + "' 2>/dev/null || umount -l '" + mount_ + "' 2>/dev/null";
            if (std::system(cmd.c_str()) != 0) ::kill(child_, SIGTERM);
            int status = 0;
            ::waitpid(child_, &status, 0);
        }
    }
    FaultyFuse(const FaultyFuse&) = delete;
    FaultyFuse& operator=(const FaultyFuse&) = delete;

    bool ok() const { return mounted_; }
    const std::string& skipReason() const { return reason_; }
    std::string path() const { return mount_ + "/disk.img"; }

private:
    void fail(const std::string& why) { reason_ = why; }

    static FaultyFilePlan& plan_() {
        static FaultyFilePlan s;
        return s;
    }
    static uint64_t& size_() {
        static uint64_t n = 0;
        return n;
    }
    static int& backingFd_() {
        static int fd = -1;
        return fd;
    }

    static int getattr(const char* p, struct stat* st, fuse_file_info*) {
        std::memset(st, 0, sizeof *st);
        if (std::strcmp(p, "/") == 0) {
            st->st_mode = S_IFDIR | 0555;
            st->st_nlink = 2;
            return 0;
        }
        if (std::strcmp(p, "/disk.img") != 0) return -ENOENT;
        st->st_mode = S_IFREG | 0444;
        st->st_nlink = 1;
        st->st_size = off_t(size_());
        return 0;
    }
    static int openFile(const char* p, fuse_file_info* fi) {
        if (std::strcmp(p, "/disk.img") != 0) return -ENOENT;
        fi->direct_io = 1;
        return 0;
    }
    static int readdir(const char*, void* buf, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags) {
        fill(buf, ".", nullptr, 0, fuse_fill_dir_flags(0));
        fill(buf, "..", nullptr, 0, fuse_fill_dir_flags(0));
        fill(buf, "disk.img", nullptr, 0, fuse_fill_dir_flags(0));
        return 0;
    }
    static int readFile(const char*, char* buf, size_t size, off_t offset, fuse_file_info*) {
        const uint64_t first = uint64_t(offset) / 512, end = (uint64_t(offset) + size + 511) / 512;
        auto it = plan_().badSectors.lower_bound(first);
        if (it != plan_().badSectors.end() && *it < end) {
            if (plan_().delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(plan_().delayMs));
            return -EIO;
        }
        const ssize_t n = ::pread(backingFd_(), buf, size, offset);
        return n < 0 ? -errno : int(n);
    }

    std::string mount_;
    std::string reason_;
    pid_t child_ = -1;
    bool mounted_ = false;
};

}  // namespace quarvell::testing
