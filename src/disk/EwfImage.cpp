// An Expert Witness (EWF, .E01 and its segments .E02 ...) image, read through libewf.
#include <libewf.h>

#include <algorithm>
#include <mutex>
#include <iterator>
#include <map>

#include "disk/ImageBackend.h"
#include "disk/LibraryError.h"

namespace quarvell {

namespace {

std::string takeError(libewf_error_t*& e, const char* what) {
    return libraryErrorText(e, what, libewf_error_sprint, libewf_error_free);
}

class EwfImage final : public ImageBackend {
public:
    ~EwfImage() override {
        if (handle_) {
            libewf_handle_close(handle_, nullptr);
            libewf_handle_free(&handle_, nullptr);
        }
    }
    uint64_t size() const override { return size_; }
    const char* formatName() const override { return "EWF"; }

    uint32_t readAt(uint64_t offset, uint8_t* out, uint32_t count) override {
        std::lock_guard<std::mutex> lock(mutex_);
        libewf_error_t* e = nullptr;
        const ssize_t n = libewf_handle_read_random(handle_, out, count, off64_t(offset), &e);
        if (e) libewf_error_free(&e);
        uint32_t good = n > 0 ? uint32_t(std::min<ssize_t>(n, count)) : 0;
        collectChecksumErrors();
        // A chunk whose checksum failed is served as the library found it: those bytes are
        // not the medium's and end the good ones.
        if (good == 0 || bad_.empty()) return good;
        // The first bad range ending after offset is the only one that can cut the good bytes.
        auto it = bad_.upper_bound(offset);
        if (it != bad_.begin() && std::prev(it)->second > offset) --it;
        if (it != bad_.end() && it->first < offset + good) good = it->first <= offset ? 0 : uint32_t(it->first - offset);
        return good;
    }

    bool open(const std::string& path, std::string& error) {
        libewf_error_t* e = nullptr;
        char** names = nullptr;
        int count = 0;
        // The segments beside it (.E01, .E02 ...); a file named otherwise is opened alone.
        char* alone[1] = {const_cast<char*>(path.c_str())};
        const bool globbed =
            libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &names, &count, &e) == 1 && count > 0;
        if (e) libewf_error_free(&e);
        const bool opened = libewf_handle_initialize(&handle_, &e) == 1 &&
                            libewf_handle_open(handle_, globbed ? names : alone, globbed ? count : 1,
                                               LIBEWF_OPEN_READ, &e) == 1;
        if (globbed) libewf_glob_free(names, count, nullptr);
        if (!opened) {
            error = takeError(e, "not a readable EWF image: a segment file is damaged, truncated or missing");
            return false;
        }
        size64_t bytes = 0;
        if (libewf_handle_get_media_size(handle_, &bytes, &e) != 1) {
            error = takeError(e, "the EWF image gives no media size");
            return false;
        }
        // libewf opens a set whose last segment is cut short and zero-fills what is missing:
        // that would be a medium of zeros, so it is refused.
        if (libewf_handle_segment_files_corrupted(handle_, &e) == 1) {
            error = takeError(e, "the EWF image is truncated or damaged: its segment files are incomplete");
            return false;
        }
        if (e) libewf_error_free(&e);
        size_ = bytes;
        libewf_handle_get_bytes_per_sector(handle_, &sectorBytes_, nullptr);
        if (sectorBytes_ == 0) sectorBytes_ = 512;
        // Sectors the imager could not read from the original drive are stored as zeros: they
        // are unreadable here too, not data.
        uint32_t acquiry = 0;
        if (libewf_handle_get_number_of_acquiry_errors(handle_, &acquiry, nullptr) == 1)
            for (uint32_t i = 0; i < acquiry; ++i) {
                uint64_t first = 0, sectors = 0;
                if (libewf_handle_get_acquiry_error(handle_, i, &first, &sectors, nullptr) == 1)
                    addBadSectors(first, sectors);
            }
        return true;
    }

private:
    void collectChecksumErrors() {
        uint32_t total = 0;
        if (libewf_handle_get_number_of_checksum_errors(handle_, &total, nullptr) != 1) return;
        for (; seenErrors_ < total; ++seenErrors_) {
            uint64_t first = 0, sectors = 0;
            if (libewf_handle_get_checksum_error(handle_, seenErrors_, &first, &sectors, nullptr) != 1) continue;
            addBadSectors(first, sectors);
        }
    }

    // Sector numbers from the image's own tables: clamped to the medium before they become bytes.
    void addBadSectors(uint64_t first, uint64_t sectors) {
        const uint64_t total = size_ / sectorBytes_ + 1;
        if (first >= total) return;
        sectors = std::min(sectors, total - first);
        addBad(first * sectorBytes_, (first + sectors) * sectorBytes_);
    }

    // Keeps bad_ a set of disjoint ranges, neighbours merged, so it stays as small as the damage.
    void addBad(uint64_t first, uint64_t end) {
        if (end <= first) return;
        auto it = bad_.upper_bound(first);
        if (it != bad_.begin() && std::prev(it)->second >= first) {
            --it;
            first = it->first;
            end = std::max(end, it->second);
            it = bad_.erase(it);
        }
        while (it != bad_.end() && it->first <= end) {
            end = std::max(end, it->second);
            it = bad_.erase(it);
        }
        bad_.emplace(first, end);
    }

    libewf_handle_t* handle_ = nullptr;
    uint64_t size_ = 0;
    uint32_t sectorBytes_ = 512;
    uint32_t seenErrors_ = 0;
    std::map<uint64_t, uint64_t> bad_;  // first byte -> end byte of ranges that failed their checksum
    std::mutex mutex_;
};

}  // namespace

std::unique_ptr<ImageBackend> openEwfImage(const std::string& path, std::string& error) {
    auto image = std::make_unique<EwfImage>();
    if (!image->open(path, error)) return nullptr;
    return image;
}

}  // namespace quarvell
