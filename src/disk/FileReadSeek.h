#pragma once
// Reader over an image file or a block device, always opened read-only.
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

    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }
    // Why the last open failed ("No such file or directory", "is a directory", ...).
    const std::string& lastError() const { return lastError_; }

private:
    void close();

    int fd_ = -1;
    int64_t position_ = 0;  // absolute byte position of the next read
    std::string path_;
    std::string lastError_;
};

}  // namespace quarvell
