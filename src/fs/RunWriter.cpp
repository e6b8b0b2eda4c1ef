#include "fs/RunWriter.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "common/WriteAll.h"
#include "disk/SalvagingRead.h"
#include "fs/OutputPath.h"

namespace quarvell {

const char* saveStatusText(SaveStatus status) {
    switch (status) {
        case SaveStatus::Complete: return "complete";
        case SaveStatus::Incomplete: return "incomplete";
        case SaveStatus::Failed: break;
    }
    return "failed";
}

namespace {

constexpr uint32_t kChunk = 1u << 20;

std::string errnoText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// The temporary file of one save: written, then either published under a final name or removed.
class TemporaryOutput final : public DataOutput {
public:
    TemporaryOutput(const FileData& data, WorkerControl& control, SaveReport& report, bool hashing,
                    std::unique_ptr<uint8_t[]>& buffer)
        : data_(data), control_(control), report_(report), digest_(hashing ? EVP_MD_CTX_new() : nullptr),
          buffer_(buffer) {
        if (digest_) EVP_DigestInit_ex(digest_.get(), EVP_sha256(), nullptr);
    }
    ~TemporaryOutput() override {
        if (fd_ >= 0) ::close(fd_);
        if (!path_.empty()) ::unlink(path_.c_str());
    }

    // An unnamed file in the folder where the file system has them (it vanishes by itself if
    // the program dies), otherwise a hidden named one.
    bool create(const std::string& folder) {
        static const bool canNameUnnamed = ::access("/proc/self/fd", X_OK) == 0;
        if (canNameUnnamed) fd_ = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
        if (fd_ >= 0) return true;
        std::string pattern = childPath(folder, ".quarvell-part-XXXXXX");
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        fd_ = ::mkostemp(buf.data(), O_CLOEXEC);
        if (fd_ < 0) return fail(errnoText("cannot create a file in the output folder"));
        path_ = buf.data();
        ::fchmod(fd_, 0644);
        return true;
    }

    // Writes everything the data describes, then zero-extends to its size.
    bool writeAll() {
        if (data_.resident) {
            const auto& bytes = *data_.resident;
            if (!putBytes(bytes.data(), bytes.size())) return false;
        } else if (data_.produce) {
            if (!data_.produce(*this)) return fail(report_.problem.empty() ? "the data could not be decoded"
                                                                           : report_.problem);
        } else {
            const uint64_t end = writtenEnd();
            for (const DataRun& run : data_.runs)
                if (written_ >= end || !putRun(run)) break;
            if (!report_.problem.empty()) return false;
            if (end < data_.size) {
                report_.missingBytes += data_.size - end;
                return true;
            }
        }
        if (written_ < data_.size) {
            const uint64_t gap = data_.size - written_;
            report_.missingBytes += gap;
            if (!putZeros(gap)) return false;
        }
        return true;
    }

    bool putBytes(const uint8_t* bytes, uint64_t count) override {
        count = room(count);
        if (count == 0) return report_.problem.empty();
        if (stopped()) return false;
        if (!quarvell::writeAll(fd_, bytes, size_t(count))) return fail(errnoText("write failed"));
        tailIsHole_ = false;
        if (digest_) EVP_DigestUpdate(digest_.get(), bytes, size_t(count));
        written_ += count;
        return true;
    }

    bool putRun(const DataRun& run) override {
        uint64_t length = room(run.length);
        switch (run.kind) {
            case DataRun::Kind::Hole:
                report_.holeBytes += length;
                return putZeros(length);
            case DataRun::Kind::PastVolume:
                report_.missingBytes += length;
                return putZeros(length);
            case DataRun::Kind::Volume: break;
        }
        if (!data_.source) {
            report_.unreadableBytes += length;
            noteUnreadable(written_, length);
            return putZeros(length);
        }
        // Every byte of the buffer is read into before it is written: it needs no clearing.
        if (!buffer_) buffer_ = std::make_unique_for_overwrite<uint8_t[]>(kChunk);
        for (uint64_t done = 0; done < length;) {
            const uint32_t n = uint32_t(std::min<uint64_t>(kChunk, length - done));
            report_.unreadableBytes += readRunPart(run.offset + done, n);
            if (!putBytes(buffer_.get(), n)) return false;
            done += n;
        }
        return true;
    }

    bool putUnreadable(uint64_t count) override {
        count = room(count);
        report_.unreadableBytes += count;
        noteUnreadable(written_, count);
        return putZeros(count);
    }

    uint64_t readVolume(uint64_t offset, uint8_t* buffer, uint32_t count) override {
        if (!data_.source || offset > uint64_t(INT64_MAX) - count) {
            std::memset(buffer, 0, count);
            return count;
        }
        return readSalvaging(*data_.source, int64_t(offset), buffer, count, data_.readUnit);
    }

    // Sets the times and gives the file the first free form of name in folder, then closes it.
    bool publish(const std::string& folder, const std::string& name) {
        if (stopped()) return false;
        if (tailIsHole_ && ::ftruncate(fd_, off_t(written_)) != 0)
            return fail(errnoText("cannot set the file's length"));
        if (data_.modificationTime || data_.accessTime) {
            struct timespec stamps[2];
            stamps[0] = data_.accessTime ? timespec{*data_.accessTime, 0} : timespec{0, UTIME_OMIT};
            stamps[1] = data_.modificationTime ? timespec{*data_.modificationTime, 0} : timespec{0, UTIME_OMIT};
            ::futimens(fd_, stamps);
        }
        const bool unnamed = path_.empty();
        if (!unnamed && !closeFile()) return false;
        const std::string safe = safeComponent(name);
        for (int n = 0; n <= kMaxNameSuffix; ++n) {
            const std::string target = childPath(folder, n == 0 ? safe : numberedName(safe, n));
            if (unnamed ? linkUnnamed(target) : renameNoReplace(target)) {
                path_.clear();
                // An unnamed file is closed once named; should the close report a late write
                // error, the name goes again: no file under a final name lacks its bytes.
                if (unnamed && !closeFile()) {
                    ::unlink(target.c_str());
                    return false;
                }
                report_.outputPath = target;
                return true;
            }
            if (errno != EEXIST) return fail(errnoText("cannot name the file"));
        }
        return fail("no free name for " + safe);
    }

    std::string digestHex() {
        if (!digest_) return {};
        unsigned char md[EVP_MAX_MD_SIZE];
        unsigned int len = 0;
        EVP_DigestFinal_ex(digest_.get(), md, &len);
        static const char* hex = "0123456789abcdef";
        std::string out;
        for (unsigned i = 0; i < len; ++i) {
            out.push_back(hex[md[i] >> 4]);
            out.push_back(hex[md[i] & 15]);
        }
        return out;
    }

    uint64_t written() const { return written_; }

private:
    struct DigestFree {
        void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
    };

    bool fail(const std::string& problem) {
        if (report_.problem.empty()) report_.problem = problem;
        return false;
    }
    // True when the job was stopped; the save then fails with "stopped".
    bool stopped() {
        if (!control_.poll()) return false;
        fail("stopped");
        return true;
    }

    // Reads `count` bytes of a run at volume byte `offset` into the buffer, for the file bytes
    // from written_ on, noting where in the file the bytes that could not be read go.
    uint64_t readRunPart(uint64_t offset, uint32_t count) {
        const uint64_t fileOffset = written_;
        if (offset > uint64_t(INT64_MAX) - count) {
            std::memset(buffer_.get(), 0, count);
            noteUnreadable(fileOffset, count);
            return count;
        }
        return readSalvaging(*data_.source, int64_t(offset), buffer_.get(), count, data_.readUnit,
                             [&](int64_t lostAt, uint32_t lost) {
                                 noteUnreadable(fileOffset + uint64_t(lostAt - int64_t(offset)), lost);
                             });
    }

    void noteUnreadable(uint64_t offset, uint64_t length) {
        if (length == 0) return;
        auto& ranges = report_.unreadableRanges;
        if (!ranges.empty() && ranges.back().offset + ranges.back().length == offset) {
            ranges.back().length += length;
        } else if (ranges.size() < kMaxUnreadableRanges) {
            ranges.push_back({offset, length});
        } else {
            report_.unreadableRangesCapped = true;
        }
    }
    // How much of count still fits in the file's size.
    uint64_t room(uint64_t count) const { return std::min(count, end_ - std::min(end_, written_)); }

    // Where the output ends: the file's size, or for data that ends at its allocation the end
    // of its last run holding data (what lies past it is missing, not written).
    uint64_t writtenEnd() {
        if (!data_.endsAtAllocation) return data_.size;
        uint64_t at = 0, lastData = 0;
        for (const DataRun& run : data_.runs) {
            at = at > UINT64_MAX - run.length ? UINT64_MAX : at + run.length;
            if (run.kind != DataRun::Kind::PastVolume) lastData = at;
        }
        end_ = std::min(lastData, data_.size);
        return end_;
    }

    bool putZeros(uint64_t count) {
        static const uint8_t zeros[64 * 1024] = {};
        if (count == 0) return report_.problem.empty();
        if (stopped()) return false;
        if (::lseek(fd_, off_t(count), SEEK_CUR) < 0) return fail(errnoText("seek failed"));
        tailIsHole_ = true;
        for (uint64_t left = digest_ ? count : 0, round = 1; left > 0; ++round) {
            if (round % 128 == 0 && stopped()) return false;  // every 8 MiB of a long stretch
            const size_t n = size_t(std::min<uint64_t>(left, sizeof zeros));
            EVP_DigestUpdate(digest_.get(), zeros, n);
            left -= n;
        }
        written_ += count;
        return true;
    }

    bool closeFile() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 || fail(errnoText("cannot close the file"));
    }

    // Names the unnamed file; an existing name is never replaced (EEXIST).
    bool linkUnnamed(const std::string& target) {
        // Straight from the descriptor where the process may (root), else through /proc.
        if (::linkat(fd_, "", AT_FDCWD, target.c_str(), AT_EMPTY_PATH) == 0) return true;
        if (errno != EPERM && errno != ENOENT) return false;
        char self[64];
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd_);
        return ::linkat(AT_FDCWD, self, AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0;
    }

    bool renameNoReplace(const std::string& target) {
        if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return true;
        if (errno != EINVAL && errno != ENOSYS) return false;
        // File systems without the flag: a hard link fails on an existing name just the same.
        if (::link(path_.c_str(), target.c_str()) == 0) {
            ::unlink(path_.c_str());
            return true;
        }
        if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) return false;
        // Nor hard links (FAT and exFAT): the name is taken first with an exclusive create, then
        // the finished file replaces that empty placeholder of our own.
        const int placeholder = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (placeholder < 0) return false;
        ::close(placeholder);
        if (::rename(path_.c_str(), target.c_str()) == 0) return true;
        const int renameError = errno;
        ::unlink(target.c_str());
        errno = renameError;
        return false;
    }

    const FileData& data_;
    WorkerControl& control_;
    SaveReport& report_;
    std::unique_ptr<EVP_MD_CTX, DigestFree> digest_;
    std::unique_ptr<uint8_t[]>& buffer_;  // the writer's, kept from file to file
    std::string path_;  // the named temporary file, while there is one
    int fd_ = -1;
    bool tailIsHole_ = false;  // the file ends in a skipped stretch: its length must be set
    uint64_t written_ = 0;
    uint64_t end_ = data_.size;  // no byte is written past it
};

}  // namespace

SaveReport RunWriter::save(const FileData& data, const std::string& folder, const std::string& name) {
    SaveReport report;
    if (!data.unsupported.empty()) {
        report.problem = data.unsupported;
        return report;
    }
    TemporaryOutput out(data, control_, report, computeSha256_, buffer_);
    if (!out.create(folder) || !out.writeAll() || !out.publish(folder, name)) {
        report.status = SaveStatus::Failed;
        report.outputPath.clear();
        return report;
    }
    report.bytesWritten = out.written();
    report.sha256 = out.digestHex();
    report.overwritten = data.overwritten;
    report.status = report.unreadableBytes || report.missingBytes || report.overwritten ? SaveStatus::Incomplete
                                                                                       : SaveStatus::Complete;
    if (report.status == SaveStatus::Incomplete && report.problem.empty()) {
        if (report.overwritten)
            report.problem = "blocks of this deleted file were allocated again: its data may be overwritten";
        if (report.unreadableBytes)
            report.problem += (report.problem.empty() ? "" : ", ") + std::to_string(report.unreadableBytes) +
                              " unreadable bytes written as zeros";
        if (report.missingBytes)
            report.problem += (report.problem.empty() ? "" : ", ") + std::to_string(report.missingBytes) +
                              " bytes of the recorded size missing, written as zeros";
    }
    return report;
}

}  // namespace quarvell
