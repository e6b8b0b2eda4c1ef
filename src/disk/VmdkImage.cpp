// A VMware virtual disk (a descriptor file with its extent files, or one sparse file with the
// descriptor embedded), read through libvmdk.
#include <libbfio.h>
#include <libvmdk.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
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
        if (pool_) libbfio_pool_free(&pool_, nullptr);
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
        if (!openExtents(path, e)) {
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
    // A sparse VMDK that starts with its own header is its only extent, whatever its descriptor
    // calls it: a renamed file still opens. Others open the extent files their descriptor names.
    bool openExtents(const std::string& path, libvmdk_error_t*& e) {
        char head[4] = {};
        if (FILE* f = std::fopen(path.c_str(), "rb")) {
            if (std::fread(head, 1, sizeof head, f) != sizeof head) head[0] = 0;
            std::fclose(f);
        }
        int extents = 0;
        if (std::memcmp(head, "KDMV", 4) != 0 || libvmdk_handle_get_number_of_extents(handle_, &extents, nullptr) != 1 ||
            extents != 1)
            return libvmdk_handle_open_extent_data_files(handle_, &e) == 1;
        libbfio_handle_t* file = nullptr;
        int entry = 0;
        if (libbfio_file_initialize(&file, nullptr) != 1) return false;
        if (libbfio_file_set_name(file, path.c_str(), path.size(), nullptr) != 1 ||
            libbfio_pool_initialize(&pool_, 0, 4, nullptr) != 1 ||
            libbfio_pool_append_handle(pool_, &entry, file, LIBBFIO_OPEN_READ, nullptr) != 1) {
            libbfio_handle_free(&file, nullptr);
            return false;
        }
        // The pool owns the file handle from here.
        return libvmdk_handle_open_extent_data_files_file_io_pool(handle_, pool_, &e) == 1;
    }

    libbfio_pool_t* pool_ = nullptr;
    libvmdk_handle_t* handle_ = nullptr;
    bool opened_ = false;
    uint64_t size_ = 0;
    std::mutex mutex_;
};

}  // namespace

std::unique_ptr<ImageBackend> openVmdkImage(const std::string& path, std::string& error) {
    if (auto flat = openVmdkFlatDescriptor(path, error)) return flat;
    if (!error.empty()) return nullptr;
    auto image = std::make_unique<VmdkImage>();
    if (!image->open(path, error)) return nullptr;
    return image;
}

}  // namespace quarvell
