#pragma once
// Reader over an image file or a block device, always opened read-only. A regular file that is a
// container (EWF, VHD/VHDX, VMDK, QCOW2, recognised by its content) or the first part of a split
// raw image (by its name) is read as the medium it holds.
#include <memory>
#include <vector>

#include "disk/ImageBackend.h"
#include "disk/readWriteInterface.h"

namespace quarvell {

class FileReadSeek final : public readWriteInterface {
public:
    FileReadSeek() = default;
    ~FileReadSeek() override;
    FileReadSeek(const FileReadSeek&) = delete;
    FileReadSeek& operator=(const FileReadSeek&) = delete;

    bool open(const std::string& path, UiSink* sink = nullptr) override;
    bool read(void* buffer, uint32_t byteCount) override;
    bool seek(int64_t offset, int origin = 0) override;
    // On a block device: through a second descriptor opened O_RDONLY|O_DIRECT, with aligned
    // buffers; on anything else, or when that descriptor cannot be had, as read() does.
    bool reread(int64_t offset, void* buffer, uint32_t byteCount) override;

    bool isBlockDevice() const { return blockDevice_; }
    // Re-reads that went through the uncached descriptor since open().
    uint64_t directReads() const { return directReads_; }

    bool isOpen() const { return fd_ >= 0; }
    // "raw" for a plain file or device, else the container's name ("EWF", "VMDK", ...).
    const char* formatName() const;
    const std::string& path() const { return path_; }
    // Why the last open failed ("No such file or directory", "is a directory", ...).
    const std::string& lastError() const { return lastError_; }

private:
    void close();
    bool openDirect();
    bool readDirect(int64_t absolute, uint8_t* out, uint32_t byteCount);
    bool openContainer(const uint8_t* head, size_t headLen, const uint8_t* tail, size_t tailLen);
    bool readContainer(uint8_t* out, uint32_t byteCount);

    int fd_ = -1;
    bool blockDevice_ = false;
    int directFd_ = -1;           // -1: not opened yet; -2: cannot be had
    uint32_t directAlign_ = 4096; // offset, length and buffer alignment of direct reads
    uint8_t* bounce_ = nullptr;   // aligned buffer of bounceSize_ bytes
    size_t bounceSize_ = 0;
    uint64_t directReads_ = 0;
    bool directRefused_ = false;
    int64_t position_ = 0;  // absolute byte position of the next read
    std::unique_ptr<ImageBackend> image_;         // set when the file is a container
    std::vector<uint8_t> piece_;                 // one bounded buffer for container reads
    std::string path_;
    std::string lastError_;
};

}  // namespace quarvell
