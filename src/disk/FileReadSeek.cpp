#include "disk/FileReadSeek.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/UiSink.h"

namespace quarvell {

FileReadSeek::~FileReadSeek() { close(); }

void FileReadSeek::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool FileReadSeek::open(const std::string& path, UiSink* sink) {
    close();
    path_ = path;
    position_ = 0;
    mediumLength = 0;
    lastError_.clear();
    // Never anything but read-only: a recovery source is never written.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) != 0) {
        lastError_ = std::strerror(errno);
        ::close(fd);
        fd = -1;
    } else if (fd >= 0 && S_ISDIR(st.st_mode)) {
        lastError_ = "is a directory";
        ::close(fd);
        fd = -1;
    } else if (fd < 0) {
        lastError_ = std::strerror(errno);
    }
    if (fd < 0) {
        if (sink) sink->messageBox("invalid handle ...", kCaption, MsgIcon::Information);
        return false;
    }
    fd_ = fd;
    if (S_ISBLK(st.st_mode)) {
        uint64_t bytes = 0;
        if (::ioctl(fd_, BLKGETSIZE64, &bytes) == 0) mediumLength = bytes;
    } else if (S_ISREG(st.st_mode)) {
        mediumLength = uint64_t(st.st_size);
    } else {
        off_t end = ::lseek(fd_, 0, SEEK_END);
        if (end > 0) mediumLength = uint64_t(end);
    }
    return true;
}

bool FileReadSeek::seek(int64_t offset, int origin) {
    if (fd_ < 0 || origin != 0) return false;
    // 64-bit add with wrap-around checked: a negative absolute position is refused.
    int64_t target = 0;
    if (__builtin_add_overflow(offset, volumeOrigin, &target) || target < 0) return false;
    position_ = target;
    return true;
}

bool FileReadSeek::read(void* buffer, uint32_t byteCount) {
    if (byteCount == 0) return true;
    if (fd_ < 0 || buffer == nullptr) return false;
    auto* out = static_cast<uint8_t*>(buffer);
    size_t got = 0;
    while (got < byteCount) {
        ssize_t n = ::pread(fd_, out + got, byteCount - got, position_ + int64_t(got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += size_t(n);
    }
    position_ += int64_t(got);
    if (got == byteCount) return true;
    // Short read: keep what came and zero the rest; a read of nothing leaves the buffer as it was.
    if (got > 0) std::memset(out + got, 0, byteCount - got);
    return false;
}

}  // namespace quarvell
