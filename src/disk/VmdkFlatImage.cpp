// A VMware descriptor whose extents are all flat (raw bytes at a sector offset of a file) or
// zero, read directly: each extent from its own file at its own offset. libvmdk takes a flat
// extent's offset for bytes where the descriptor gives sectors, so every extent but one starting
// at offset 0 read the wrong bytes; other descriptors (sparse extents) still go to libvmdk.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <vector>

#include "disk/ImageBackend.h"

namespace quarvell {

namespace {

constexpr uint64_t kSector = 512;
constexpr std::streamsize kMaxDescriptor = 1 << 20;

struct FlatExtent {
    uint64_t start = 0;    // first byte of the medium it holds
    uint64_t length = 0;   // bytes
    int fd = -1;           // -1: a zero extent
    uint64_t offset = 0;   // its first byte in the file
};

class VmdkFlatImage final : public ImageBackend {
public:
    ~VmdkFlatImage() override {
        for (const FlatExtent& e : extents_)
            if (e.fd >= 0) ::close(e.fd);
    }
    uint64_t size() const override { return size_; }
    const char* formatName() const override { return "VMDK"; }

    uint32_t readAt(uint64_t offset, uint8_t* out, uint32_t count) override {
        uint32_t done = 0;
        auto it = std::upper_bound(extents_.begin(), extents_.end(), offset,
                                   [](uint64_t v, const FlatExtent& e) { return v < e.start + e.length; });
        for (; done < count && it != extents_.end(); ++it) {
            const uint64_t at = offset + done - it->start;
            const uint32_t n = uint32_t(std::min<uint64_t>(count - done, it->length - at));
            if (it->fd < 0) {
                std::memset(out + done, 0, n);
            } else {
                for (uint32_t got = 0; got < n;) {
                    const ssize_t r = ::pread(it->fd, out + done + got, n - got, off_t(it->offset + at + got));
                    if (r < 0 && errno == EINTR) continue;
                    if (r <= 0) return done + got;
                    got += uint32_t(r);
                }
            }
            done += n;
        }
        return done;
    }

    // Extent lines: ACCESS SECTORS TYPE ["FILE" [OFFSET]]. False with an empty error when the
    // descriptor has extents of another type (libvmdk's to read).
    bool open(const std::string& path, const std::string& text, std::string& error) {
        static const std::regex line(R"(^\s*(RW|RDONLY|NOACCESS)\s+(\d+)\s+(\w+)(?:\s+\"([^\"]*)\"(?:\s+(\d+))?)?\s*$)");
        const std::string folder = path.find('/') == std::string::npos ? "." : path.substr(0, path.rfind('/'));
        std::istringstream in(text);
        std::string l;
        while (std::getline(in, l)) {
            if (!l.empty() && l.back() == '\r') l.pop_back();
            std::smatch m;
            if (!std::regex_match(l, m, line)) continue;
            const std::string type = m[3];
            if (type != "FLAT" && type != "VMFS" && type != "ZERO") return false;
            FlatExtent e;
            e.start = size_;
            e.length = std::stoull(m[2]) * kSector;
            if (type != "ZERO") {
                const std::string name = m[4];
                const std::string file = !name.empty() && name[0] == '/' ? name : folder + "/" + name;
                e.offset = m[5].matched ? std::stoull(m[5]) * kSector : 0;
                e.fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
                struct stat st;
                if (name.empty() || e.fd < 0 || ::fstat(e.fd, &st) != 0) {
                    if (e.fd >= 0) ::close(e.fd);
                    error = "the VMDK image's extent file " + file + " cannot be opened";
                    return false;
                }
                extents_.push_back(e);
                if (uint64_t(st.st_size) < e.offset + e.length) {
                    error = "the VMDK image's extent file " + file + " ends before its extent does";
                    return false;
                }
            } else {
                extents_.push_back(e);
            }
            size_ += e.length;
        }
        if (extents_.empty()) return false;
        return true;
    }

private:
    std::vector<FlatExtent> extents_;
    uint64_t size_ = 0;
};

}  // namespace

std::unique_ptr<ImageBackend> openVmdkFlatDescriptor(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    std::string text(size_t(kMaxDescriptor), '\0');
    in.read(text.data(), kMaxDescriptor);
    text.resize(size_t(in.gcount()));
    if (text.rfind("# Disk DescriptorFile", 0) != 0 || text.find('\0') != std::string::npos) return nullptr;
    auto image = std::make_unique<VmdkFlatImage>();
    if (!image->open(path, text, error)) return nullptr;
    return image;
}

}  // namespace quarvell
