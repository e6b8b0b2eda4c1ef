// A VMware virtual disk (a descriptor file with its extent files, or one sparse file with the
// descriptor embedded), read through libvmdk.
#include <libvmdk.h>

#include <algorithm>
#include <mutex>

#include "disk/ImageBackend.h"
#include "disk/LibraryError.h"
#include "disk/TableCheck.h"

namespace quarvell {

namespace {

std::string takeError(libvmdk_error_t*& e, const char* what) {
    return libraryErrorText(e, what, libvmdk_error_sprint, libvmdk_error_free);
}

class VmdkImage final : public ImageBackend {
public:
    ~VmdkImage() override {
        if (handle_) {
            if (opened_) libvmdk_handle_close(handle_, nullptr);
            libvmdk_handle_free(&handle_, nullptr);
        }
    }
    uint64_t size() const override { return size_; }
    const char* formatName() const override { return "VMDK"; }

    uint32_t readAt(uint64_t offset, uint8_t* out, uint32_t count) override {
        std::lock_guard<std::mutex> lock(mutex_);
        libvmdk_error_t* e = nullptr;
        const ssize_t n = libvmdk_handle_read_buffer_at_offset(handle_, out, count, off64_t(offset), &e);
        if (e) libvmdk_error_free(&e);
        return n > 0 ? uint32_t(std::min<ssize_t>(n, count)) : 0;
    }

    bool open(const std::string& path, std::string& error) {
        libvmdk_error_t* e = nullptr;
        if (libvmdk_handle_initialize(&handle_, &e) != 1 || libvmdk_handle_open(handle_, path.c_str(), LIBVMDK_OPEN_READ, &e) != 1) {
            error = takeError(e, "not a readable VMDK image: its descriptor is damaged or truncated");
            return false;
        }
        opened_ = true;
        if (libvmdk_handle_open_extent_data_files(handle_, &e) != 1) {
            error = takeError(e, "the VMDK image's extent files are missing or damaged");
            return false;
        }
        size_t parentName = 0;
        if (libvmdk_handle_get_utf8_parent_filename_size(handle_, &parentName, &e) == 1 && parentName > 1) {
            error = "a differencing virtual disk: its data depends on a parent image, which cannot be opened here";
            return false;
        }
        if (e) libvmdk_error_free(&e);
        if (const std::string wrong = checkVmdkSparseTables(path); !wrong.empty()) {
            error = wrong;
            return false;
        }
        size64_t bytes = 0;
        if (libvmdk_handle_get_media_size(handle_, &bytes, &e) != 1) {
            error = takeError(e, "the VMDK image gives no size");
            return false;
        }
        size_ = bytes;
        return true;
    }

private:
    libvmdk_handle_t* handle_ = nullptr;
    bool opened_ = false;
    uint64_t size_ = 0;
    std::mutex mutex_;
};

}  // namespace

std::unique_ptr<ImageBackend> openVmdkImage(const std::string& path, std::string& error) {
    auto image = std::make_unique<VmdkImage>();
    if (!image->open(path, error)) return nullptr;
    return image;
}

}  // namespace quarvell
