// A QEMU copy-on-write image (QCOW2, and the older QCOW), read through libqcow.
#include <libqcow.h>

#include <algorithm>
#include <mutex>

#include "disk/ImageBackend.h"
#include "disk/LibraryError.h"
#include "disk/TableCheck.h"

namespace quarvell {

namespace {

std::string takeError(libqcow_error_t*& e, const char* what) {
    return libraryErrorText(e, what, libqcow_error_sprint, libqcow_error_free);
}

class QcowImage final : public ImageBackend {
public:
    ~QcowImage() override {
        if (file_) {
            if (opened_) libqcow_file_close(file_, nullptr);
            libqcow_file_free(&file_, nullptr);
        }
    }
    uint64_t size() const override { return size_; }
    const char* formatName() const override { return "QCOW"; }

    uint32_t readAt(uint64_t offset, uint8_t* out, uint32_t count) override {
        std::lock_guard<std::mutex> lock(mutex_);
        libqcow_error_t* e = nullptr;
        const ssize_t n = libqcow_file_read_buffer_at_offset(file_, out, count, off64_t(offset), &e);
        if (e) libqcow_error_free(&e);
        return n > 0 ? uint32_t(std::min<ssize_t>(n, count)) : 0;
    }

    bool open(const std::string& path, std::string& error) {
        libqcow_error_t* e = nullptr;
        if (libqcow_file_initialize(&file_, &e) != 1 || libqcow_file_open(file_, path.c_str(), LIBQCOW_OPEN_READ, &e) != 1) {
            error = takeError(e, "not a readable QCOW image: it is damaged or truncated");
            return false;
        }
        opened_ = true;
        size_t backing = 0;
        if (libqcow_file_get_utf8_backing_filename_size(file_, &backing, &e) == 1 && backing > 1) {
            error = "a QCOW image with a backing file: its data depends on that image, which cannot be opened here";
            return false;
        }
        if (e) libqcow_error_free(&e);
        uint32_t method = 0;
        if (libqcow_file_get_encryption_method(file_, &method, &e) == 1 && method != 0) {
            error = "an encrypted QCOW image, which cannot be read without its key";
            return false;
        }
        if (e) libqcow_error_free(&e);
        if (const std::string wrong = checkQcowTables(path); !wrong.empty()) {
            error = wrong;
            return false;
        }
        size64_t bytes = 0;
        if (libqcow_file_get_media_size(file_, &bytes, &e) != 1) {
            error = takeError(e, "the QCOW image gives no size");
            return false;
        }
        size_ = bytes;
        return true;
    }

private:
    libqcow_file_t* file_ = nullptr;
    bool opened_ = false;
    uint64_t size_ = 0;
    std::mutex mutex_;
};

}  // namespace

std::unique_ptr<ImageBackend> openQcowImage(const std::string& path, std::string& error) {
    auto image = std::make_unique<QcowImage>();
    if (!image->open(path, error)) return nullptr;
    return image;
}

}  // namespace quarvell
