// A Virtual Hard Disk image (VHD: fixed or dynamic; VHDX), read through libvhdi.
#include <libvhdi.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "disk/ImageBackend.h"
#include "disk/LibraryError.h"

namespace quarvell {

namespace {

std::string takeError(libvhdi_error_t*& e, const char* what) {
    return libraryErrorText(e, what, libvhdi_error_sprint, libvhdi_error_free);
}

class VhdImage final : public ImageBackend {
public:
    ~VhdImage() override {
        if (file_) {
            if (opened_) libvhdi_file_close(file_, nullptr);
            libvhdi_file_free(&file_, nullptr);
        }
    }
    uint64_t size() const override { return size_; }
    const char* formatName() const override { return vhdx_ ? "VHDX" : "VHD"; }

    uint32_t readAt(uint64_t offset, uint8_t* out, uint32_t count) override {
        std::lock_guard<std::mutex> lock(mutex_);
        libvhdi_error_t* e = nullptr;
        const ssize_t n = libvhdi_file_read_buffer_at_offset(file_, out, count, off64_t(offset), &e);
        if (e) libvhdi_error_free(&e);
        return n > 0 ? uint32_t(std::min<ssize_t>(n, count)) : 0;
    }

    bool open(const std::string& path, bool vhdx, std::string& error) {
        vhdx_ = vhdx;
        libvhdi_error_t* e = nullptr;
        if (libvhdi_file_initialize(&file_, &e) != 1 || libvhdi_file_open(file_, path.c_str(), LIBVHDI_OPEN_READ, &e) != 1) {
            error = takeError(e, vhdx ? "not a readable VHDX image: it is damaged or truncated"
                                      : "not a readable VHD image: it is damaged or truncated");
            return false;
        }
        opened_ = true;
        uint32_t type = 0;
        if (libvhdi_file_get_disk_type(file_, &type, &e) == 1 && type == LIBVHDI_DISK_TYPE_DIFFERENTIAL) {
            // Its unchanged blocks live in a parent image: alone it would read them as zeros.
            error = "a differencing virtual disk: its data depends on a parent image, which cannot be opened here";
            return false;
        }
        if (e) libvhdi_error_free(&e);
        size64_t bytes = 0;
        if (libvhdi_file_get_media_size(file_, &bytes, &e) != 1) {
            error = takeError(e, "the virtual disk gives no size");
            return false;
        }
        size_ = bytes;
        return true;
    }

private:
    libvhdi_file_t* file_ = nullptr;
    bool opened_ = false;
    bool vhdx_ = false;
    uint64_t size_ = 0;
    std::mutex mutex_;
};

}  // namespace

std::unique_ptr<ImageBackend> openVhdImage(const std::string& path, std::string& error) {
    auto image = std::make_unique<VhdImage>();
    char head[8] = {};
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        if (std::fread(head, 1, sizeof head, f) != sizeof head) head[0] = 0;
        std::fclose(f);
    }
    if (!image->open(path, std::string(head, 8) == "vhdxfile", error)) return nullptr;
    return image;
}

}  // namespace quarvell
