// A raw image cut into parts (name.000, name.001, ... or name.aa, name.ab, ...): one medium
// whose bytes are the parts' bytes one after the other, whatever each part's size.
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "disk/ImageBackend.h"

namespace quarvell {

namespace {

// More parts than this is not an image anyone cut: refused rather than opening a descriptor each.
constexpr size_t kMaxParts = 4096;

struct Part {
    int fd = -1;
    uint64_t start = 0;  // medium offset of the part's first byte
    uint64_t length = 0;
};

class SplitRawImage final : public ImageBackend {
public:
    ~SplitRawImage() override {
        for (auto& p : parts_)
            if (p.fd >= 0) ::close(p.fd);
    }
    uint64_t size() const override { return size_; }
    const char* formatName() const override { return "split raw"; }

    uint32_t readAt(uint64_t offset, uint8_t* out, uint32_t count) override {
        uint32_t done = 0;
        // The part holding offset: the last whose start is not past it.
        size_t i = 0, lo = 0, hi = parts_.size();
        while (lo < hi) {
            const size_t mid = (lo + hi) / 2;
            if (parts_[mid].start <= offset) {
                i = mid;
                lo = mid + 1;
            } else {
                hi = mid;
            }
        }
        while (done < count && i < parts_.size()) {
            const Part& p = parts_[i];
            const uint64_t at = offset + done;
            if (at >= p.start + p.length) {
                ++i;
                continue;
            }
            const uint64_t inPart = at - p.start;
            const uint32_t want = uint32_t(std::min<uint64_t>(count - done, p.length - inPart));
            ssize_t n = 0;
            do {
                n = ::pread(p.fd, out + done, want, off_t(inPart));
            } while (n < 0 && errno == EINTR);
            if (n <= 0) break;
            done += uint32_t(n);
            if (uint32_t(n) < want) break;  // a part that came short ends the good bytes
        }
        return done;
    }

    bool add(const std::string& name, std::string& error) {
        const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            error = "part " + name + " cannot be opened: " + (fd < 0 ? std::strerror(errno) : "not a regular file");
            if (fd >= 0) ::close(fd);
            return false;
        }
        parts_.push_back({fd, size_, uint64_t(st.st_size)});
        size_ += uint64_t(st.st_size);
        return true;
    }

private:
    std::vector<Part> parts_;
    uint64_t size_ = 0;
};

// The suffix following `suffix` in its series: "001" -> "002", "az" -> "ba"; "" past the last.
std::string nextSuffix(std::string s) {
    const bool digits = s[0] >= '0' && s[0] <= '9';
    for (size_t i = s.size(); i-- > 0;) {
        const char last = digits ? '9' : 'z';
        if (s[i] != last) {
            ++s[i];
            return s;
        }
        s[i] = digits ? '0' : 'a';
    }
    return {};
}

bool sameSeries(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const bool da = a[i] >= '0' && a[i] <= '9', db = b[i] >= '0' && b[i] <= '9';
        const bool la = a[i] >= 'a' && a[i] <= 'z', lb = b[i] >= 'a' && b[i] <= 'z';
        if (!((da && db) || (la && lb))) return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<ImageBackend> openSplitRawImage(const std::string& path, std::string& error) {
    const size_t dot = path.rfind('.');
    const std::string stem = path.substr(0, dot + 1);
    const std::string first = path.substr(dot + 1);
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string stemName = stem.substr(slash == std::string::npos ? 0 : slash + 1);

    // Every sibling of the same series, to tell a missing part from the end of the image.
    std::set<std::string> present;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() == stemName.size() + first.size() && name.compare(0, stemName.size(), stemName) == 0 &&
                sameSeries(name.substr(stemName.size()), first))
                present.insert(name.substr(stemName.size()));
            if (present.size() > kMaxParts) break;
        }
        ::closedir(d);
    }
    if (first == "001" && present.count("000")) {
        error = "it is not the first part of a split image: " + stem + "000 exists";
        return nullptr;
    }
    auto image = std::make_unique<SplitRawImage>();
    if (!image->add(path, error)) return nullptr;
    size_t found = 1;
    for (std::string s = nextSuffix(first); !s.empty() && present.count(s); s = nextSuffix(s)) {
        if (++found > kMaxParts) {
            error = "more than 4096 parts";
            return nullptr;
        }
        if (!image->add(stem + s, error)) return nullptr;
    }
    // A later part with a gap before it: the medium would silently end early.
    if (found < present.size() + (present.count(first) ? 0 : 1)) {
        std::string missing = first;
        for (size_t i = 0; i < found; ++i) missing = nextSuffix(missing);
        error = "part " + stem + missing + " is missing, but later parts exist";
        return nullptr;
    }
    if (found == 1) {
        error.clear();
        return nullptr;  // one part only: a plain raw file
    }
    return image;
}

}  // namespace quarvell
