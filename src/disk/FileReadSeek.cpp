#include "disk/FileReadSeek.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/UiSink.h"
#include "disk/ImageBackend.h"

namespace quarvell {

FileReadSeek::~FileReadSeek() { close(); }

namespace {
// Direct re-reads go in pieces of at most this many bytes: the aligned buffer stays small.
constexpr uint32_t kDirectPiece = 1u << 20;
}  // namespace

void FileReadSeek::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (directFd_ >= 0) ::close(directFd_);
    directFd_ = -1;
    blockDevice_ = false;
    std::free(bounce_);
    bounce_ = nullptr;
    bounceSize_ = 0;
    directReads_ = 0;
    directRefused_ = false;
    image_.reset();
    piece_.clear();
    piece_.shrink_to_fit();
}

const char* FileReadSeek::formatName() const { return image_ ? image_->formatName() : "raw"; }

// A regular file is looked at before it is taken as raw: the first and last 512 bytes tell the
// containers apart, the name a split image's first part.
bool FileReadSeek::openContainer(const uint8_t* head, size_t headLen, const uint8_t* tail, size_t tailLen) {
    const ImageFormat format = detectImageFormat(path_, head, headLen, tail, tailLen);
    std::string error;
    switch (format) {
    case ImageFormat::Plain: return true;
    case ImageFormat::Ewf: image_ = openEwfImage(path_, error); break;
    case ImageFormat::Vhd:
    case ImageFormat::Vhdx: image_ = openVhdImage(path_, error); break;
    case ImageFormat::Vmdk: image_ = openVmdkImage(path_, error); break;
    case ImageFormat::Qcow: image_ = openQcowImage(path_, error); break;
    case ImageFormat::SplitRaw:
        image_ = openSplitRawImage(path_, error);
        if (!image_ && error.empty()) return true;  // a single part: a plain raw file
        break;
    }
    if (!image_) {
        lastError_ = error.empty() ? "the image cannot be read" : error;
        return false;
    }
    mediumLength = image_->size();
    return true;
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
    if (S_ISREG(st.st_mode)) {
        uint8_t head[512] = {}, tail[512] = {};
        const uint64_t fileSize = uint64_t(st.st_size);
        const ssize_t headLen = ::pread(fd, head, sizeof head, 0);
        const size_t tailWant = size_t(std::min<uint64_t>(fileSize, sizeof tail));
        const ssize_t tailLen = tailWant ? ::pread(fd, tail, tailWant, off_t(fileSize - tailWant)) : 0;
        if (!openContainer(head, headLen > 0 ? size_t(headLen) : 0, tail, tailLen > 0 ? size_t(tailLen) : 0)) {
            ::close(fd);
            if (sink) sink->messageBox("invalid handle ...", kCaption, MsgIcon::Information);
            return false;
        }
        if (image_) {
            fd_ = fd;
            return true;
        }
    }
    fd_ = fd;
    if (S_ISBLK(st.st_mode)) {
        blockDevice_ = true;
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
    if (image_) return readContainer(out, byteCount);
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

// Through the container, piece by piece via one bounded buffer, so that a failing piece leaves the
// caller's bytes past the good ones as read() promises (zeros, or untouched when nothing came).
bool FileReadSeek::readContainer(uint8_t* out, uint32_t byteCount) {
    const uint64_t size = image_->size();
    uint32_t got = 0;
    bool failed = false;
    while (got < byteCount) {
        const uint64_t at = uint64_t(position_) + got;
        if (at >= size) break;
        const uint32_t want = uint32_t(std::min<uint64_t>({byteCount - got, kImagePiece, size - at}));
        if (piece_.size() < want) piece_.resize(std::min<size_t>(kImagePiece, std::max<size_t>(want, 64 * 1024)));
        const uint32_t n = std::min(image_->readAt(at, piece_.data(), want), want);
        std::memcpy(out + got, piece_.data(), n);
        got += n;
        if (n < want) {
            failed = true;
            break;
        }
    }
    position_ += int64_t(got);
    if (got == byteCount && !failed) return true;
    if (got > 0) std::memset(out + got, 0, byteCount - got);
    return false;
}

bool FileReadSeek::openDirect() {
    if (directFd_ >= 0) return true;
    if (directFd_ == -2 || !blockDevice_) return false;
    // Read-only like the main descriptor; the page cache is bypassed so a failing sector fails
    // alone instead of taking the cache's whole read-ahead window with it.
    const int fd = ::open(path_.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC);
    if (fd < 0) {
        directFd_ = -2;
        return false;
    }
    int logical = 0;
    if (::ioctl(fd, BLKSSZGET, &logical) == 0 && logical >= 512 && logical <= 65536 && (logical & (logical - 1)) == 0)
        directAlign_ = std::max<uint32_t>(uint32_t(logical), 512);
    else
        directAlign_ = 4096;
    // The buffer's address is aligned to a page at least, whatever the device asks.
    const size_t size = size_t(kDirectPiece) + 2 * directAlign_;
    void* mem = nullptr;
    if (::posix_memalign(&mem, std::max<size_t>(directAlign_, 4096), size) != 0) {
        ::close(fd);
        directFd_ = -2;
        return false;
    }
    bounce_ = static_cast<uint8_t*>(mem);
    bounceSize_ = size;
    directFd_ = fd;
    return true;
}

// Reads [absolute, absolute + byteCount) through the direct descriptor in aligned pieces.
// Returns false with the bytes that came (then zeros) on a short read, as read() does.
bool FileReadSeek::readDirect(int64_t absolute, uint8_t* out, uint32_t byteCount) {
    const uint64_t align = directAlign_;
    uint32_t done = 0;
    while (done < byteCount) {
        const uint64_t want = uint64_t(absolute) + done;
        const uint64_t first = want / align * align;
        const uint32_t piece = std::min<uint32_t>(byteCount - done, kDirectPiece);
        const uint64_t end = (want + piece + align - 1) / align * align;
        const size_t span = size_t(end - first);
        ssize_t n = -1;
        do {
            n = ::pread(directFd_, bounce_, span, off_t(first));
        } while (n < 0 && errno == EINTR);
        ++directReads_;
        if (n < 0 && errno == EINVAL) {
            // The device refuses this alignment after all: re-read through the cache instead.
            directRefused_ = true;
            return false;
        }
        const uint64_t skip = want - first;
        const uint64_t usable = n > 0 && uint64_t(n) > skip ? std::min<uint64_t>(uint64_t(n) - skip, piece) : 0;
        if (usable > 0) std::memcpy(out + done, bounce_ + skip, size_t(usable));
        done += uint32_t(usable);
        if (usable < piece) break;
    }
    if (done == byteCount) return true;
    if (done > 0) std::memset(out + done, 0, byteCount - done);
    return false;
}

bool FileReadSeek::reread(int64_t offset, void* buffer, uint32_t byteCount) {
    if (byteCount == 0) return true;
    int64_t absolute = 0;
    if (fd_ < 0 || buffer == nullptr || __builtin_add_overflow(offset, volumeOrigin, &absolute) || absolute < 0)
        return false;
    if (!openDirect()) return seek(offset) && read(buffer, byteCount);
    const bool ok = readDirect(absolute, static_cast<uint8_t*>(buffer), byteCount);
    if (!ok && directRefused_) {
        ::close(directFd_);
        directFd_ = -2;
        return seek(offset) && read(buffer, byteCount);
    }
    position_ = absolute + (ok ? int64_t(byteCount) : 0);
    return ok;
}

}  // namespace quarvell
