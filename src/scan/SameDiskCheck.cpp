#include "scan/SameDiskCheck.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <utility>
#include <vector>

namespace quarvell {

namespace {

namespace fs = std::filesystem;

// Stacks deeper than this (loop on a file on a loop on ...) are not followed further.
constexpr int kMaxDepth = 16;

using FileId = std::pair<dev_t, ino_t>;

struct MountRow {
    std::string point;
    dev_t device = 0;
    std::string type;
    std::string source;
};

// mountinfo escapes blanks, tabs, newlines and backslashes as \ooo.
std::string unescape(const std::string& s) {
    auto octal = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && octal(s[i + 1]) && octal(s[i + 2]) && octal(s[i + 3])) {
            out.push_back(char((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

bool parseDevice(const std::string& text, dev_t& out) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size()) return false;
    char* end = nullptr;
    const unsigned long major = std::strtoul(text.c_str(), &end, 10);
    if (end != text.c_str() + colon) return false;
    const unsigned long minor = std::strtoul(text.c_str() + colon + 1, &end, 10);
    if (*end != '\0' && *end != '\n') return false;
    out = makedev(unsigned(major), unsigned(minor));
    return true;
}

std::vector<MountRow> readMounts(const std::string& path) {
    std::vector<MountRow> rows;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::vector<std::string> f;
        for (std::string w; words >> w;) f.push_back(w);
        size_t dash = 6;
        while (dash < f.size() && f[dash] != "-") ++dash;
        if (f.size() < 5 || dash + 2 >= f.size()) continue;
        MountRow row;
        if (!parseDevice(f[2], row.device)) continue;
        row.point = unescape(f[4]);
        row.type = f[dash + 1];
        row.source = unescape(f[dash + 2]);
        rows.push_back(row);
    }
    return rows;
}

// The mount whose point is the longest prefix of `path` (the last one listed when mounts stack).
const MountRow* mountOf(const std::vector<MountRow>& rows, const std::string& path) {
    const MountRow* best = nullptr;
    for (const auto& row : rows) {
        const std::string& p = row.point;
        const bool prefix = p == "/" || path == p || (path.size() > p.size() && path.compare(0, p.size(), p) == 0 &&
                                                      path[p.size()] == '/');
        if (prefix && (!best || p.size() >= best->point.size())) best = &row;
    }
    return best;
}

std::string readLine(const fs::path& p) {
    std::ifstream in(p);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
    return line;
}

std::string devText(dev_t d) { return std::to_string(major(d)) + ":" + std::to_string(minor(d)); }

// Everything that finally stores a file system or device: the block devices on the way down
// and the files that back loop devices (or FUSE mounts of image files).
struct Storage {
    std::set<dev_t> devices;
    std::set<FileId> files;
    std::vector<std::string> path;  // the names met on the way, for the message
    std::map<dev_t, size_t> deviceAt;  // where in `path` each device was met
    std::map<FileId, size_t> fileAt;
};

class Resolver {
public:
    explicit Resolver(const SystemTables& t) : tables_(t) {}

    void device(dev_t d, Storage& s, int depth) {
        if (depth > kMaxDepth || !s.devices.insert(d).second) return;
        std::error_code ec;
        const fs::path link = fs::path(tables_.sysRoot) / "dev" / "block" / devText(d);
        const fs::path dir = fs::canonical(link, ec);
        if (ec) return;  // not a block device the system knows (a virtual file system)
        s.deviceAt[d] = s.path.size();
        s.path.push_back("/dev/" + dir.filename().string());
        // A partition: its whole disk holds it.
        if (fs::exists(dir / "partition", ec)) named(dir.parent_path(), s, depth + 1);
        // A device-mapper (or md) device: its slaves hold it.
        for (const auto& slave : fs::directory_iterator(dir / "slaves", ec)) named(slave.path(), s, depth + 1);
        // A loop device: its backing file (or device) holds it.
        const fs::path backing = dir / "loop" / "backing_file";
        if (fs::exists(backing, ec)) {
            std::string file = readLine(backing);
            stripDeleted(file);
            if (!file.empty()) pathOnDisk(file, s, depth + 1);
        }
    }

    // A file or device named by path: a block device is followed down; a file is storage itself,
    // and so is whatever holds it.
    void pathOnDisk(const std::string& path, Storage& s, int depth) {
        if (depth > kMaxDepth) return;
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return;
        if (S_ISBLK(st.st_mode)) {
            device(st.st_rdev, s, depth);
        } else if (S_ISREG(st.st_mode)) {
            if (!s.files.insert({st.st_dev, st.st_ino}).second) return;
            s.fileAt[{st.st_dev, st.st_ino}] = s.path.size();
            s.path.push_back(path);
            folder(fs::path(path).parent_path().string(), s, depth + 1);
        }
    }

    // The storage of the file system that holds `existingFolder` (a canonical path).
    void folder(const std::string& existingFolder, Storage& s, int depth) {
        if (depth > kMaxDepth) return;
        if (mounts_.empty()) mounts_ = readMounts(tables_.mountInfo);
        const MountRow* m = mountOf(mounts_, existingFolder);
        if (!m) return;
        // FUSE file systems (ntfs-3g, exfat-fuse, fuse2fs) carry the device or image in their source.
        if (m->type == "fuseblk" || m->type.rfind("fuse", 0) == 0) {
            if (!m->source.empty() && m->source[0] == '/') pathOnDisk(m->source, s, depth + 1);
            if (m->type == "fuseblk") return;
        }
        std::error_code ec;
        if (fs::exists(fs::path(tables_.sysRoot) / "dev" / "block" / devText(m->device), ec)) {
            device(m->device, s, depth);
        } else if (!m->source.empty() && m->source[0] == '/') {
            // File systems that show an anonymous device number (btrfs, for one) name their device.
            pathOnDisk(m->source, s, depth + 1);
        }
    }

    // The file behind a loop device (its identity), or {0, 0} for any other device.
    FileId loopBackingFile(dev_t d) const {
        std::error_code ec;
        const fs::path dir = fs::canonical(fs::path(tables_.sysRoot) / "dev" / "block" / devText(d), ec);
        if (ec) return {0, 0};
        std::string file = readLine(dir / "loop" / "backing_file");
        stripDeleted(file);
        struct stat st {};
        if (file.empty() || ::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {0, 0};
        return {st.st_dev, st.st_ino};
    }

private:
    static void stripDeleted(std::string& file) {
        const std::string deleted = " (deleted)";
        if (file.size() > deleted.size() && file.compare(file.size() - deleted.size(), deleted.size(), deleted) == 0)
            file.resize(file.size() - deleted.size());
    }

    void named(const fs::path& sysDir, Storage& s, int depth) {
        dev_t d = 0;
        if (parseDevice(readLine(sysDir / "dev"), d)) device(d, s, depth);
    }

    const SystemTables& tables_;
    std::vector<MountRow> mounts_;
};

// The folder itself when it exists, else the nearest folder above it that does.
std::string existingFolderOf(const std::string& folder) {
    std::error_code ec;
    fs::path p = fs::absolute(folder, ec);
    if (ec) return {};
    for (int guard = 0; guard < 4096; ++guard) {
        fs::path c = fs::canonical(p, ec);
        if (!ec) return c.string();
        if (!p.has_parent_path() || p.parent_path() == p) return {};
        p = p.parent_path();
    }
    return {};
}

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& n : names) out += (out.empty() ? "" : ", ") + n;
    return out;
}

}  // namespace

SameDiskVerdict checkOutputAgainstSource(const std::string& sourcePath, const std::string& outputFolder) {
    return checkOutputAgainstSource(sourcePath, outputFolder, SystemTables{});
}

SameDiskVerdict checkOutputAgainstSource(const std::string& sourcePath, const std::string& outputFolder,
                                         const SystemTables& tables) {
    SameDiskVerdict verdict;
    struct stat src {};
    if (::stat(sourcePath.c_str(), &src) != 0) return verdict;  // the open reports a missing source
    const std::string folder = existingFolderOf(outputFolder);
    if (folder.empty()) return verdict;

    Resolver resolver(tables);
    Storage out;
    resolver.folder(folder, out, 0);

    // What writing must not reach: the device itself (its partitions and the devices stacked on
    // it lead down to it), or the image file; a loop source also through its backing file.
    bool hit = false;
    size_t metAt = out.path.size();  // the way down is shown up to where the source was met
    auto at = [&](auto& map, const auto& key) {
        auto it = map.find(key);
        if (it != map.end()) metAt = it->second;
    };
    if (S_ISBLK(src.st_mode)) {
        hit = out.devices.count(src.st_rdev) > 0;
        if (hit) at(out.deviceAt, src.st_rdev);
        // A loop device source is its backing file too: another loop device over the same file
        // writes into it just the same.
        const FileId backing = resolver.loopBackingFile(src.st_rdev);
        if (!hit && backing.second != 0) {
            hit = out.files.count(backing) > 0;
            if (hit) at(out.fileAt, backing);
        }
    } else if (S_ISREG(src.st_mode)) {
        hit = out.files.count({src.st_dev, src.st_ino}) > 0;
        if (hit) at(out.fileAt, FileId{src.st_dev, src.st_ino});
    }
    if (!hit) return verdict;
    verdict.same = true;
    out.path.resize(std::min(metAt, out.path.size()));
    verdict.reason = "the output folder " + outputFolder + " is stored on " + sourcePath + ", the source being recovered";
    if (!out.path.empty()) verdict.reason += " (through " + joined(out.path) + ")";
    return verdict;
}

}  // namespace quarvell
