#include "fs/OutputPath.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "common/Utf.h"

namespace quarvell {

namespace {
constexpr size_t kMaxComponentBytes = 255;


// Cuts UTF-8 text to at most `limit` bytes without splitting a character.
std::string cutUtf8(const std::string& text, size_t limit) {
    if (text.size() <= limit) return text;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

bool exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

std::string numberedName(const std::string& name, int n) {
    const std::string suffix = " (" + std::to_string(n) + ")";
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) dot = name.size();
    std::string ext = name.substr(dot);
    if (ext.size() > 32) {
        ext.clear();
        dot = name.size();
    }
    const size_t room = kMaxComponentBytes - suffix.size() - ext.size();
    return cutUtf8(name.substr(0, dot), room) + suffix + ext;
}

std::string safeComponent(const std::string& name) {
    std::string out;
    out.reserve(name.size());
    for (char c : controlPictures(name)) out.push_back(c == '/' || c == '\\' ? '_' : c);
    if (out.empty() || out == "." || out == "..") out = "_" + out;
    return cutUtf8(out, kMaxComponentBytes);
}

std::string childPath(const std::string& dir, const std::string& component) {
    if (!dir.empty() && dir.back() == '/') return dir + component;
    return dir + "/" + component;
}

std::string freeFilePath(const std::string& dir, const std::string& name) {
    const std::string safe = safeComponent(name);
    std::string path = childPath(dir, safe);
    for (int n = 1; exists(path) && n <= kMaxNameSuffix; ++n) path = childPath(dir, numberedName(safe, n));
    return path;
}

std::string ensureSubfolder(const std::string& dir, const std::string& name, std::string& problem) {
    const std::string safe = safeComponent(name);
    for (int n = 0; n <= kMaxNameSuffix; ++n) {
        const std::string path = childPath(dir, n == 0 ? safe : numberedName(safe, n));
        struct stat st;
        if (::lstat(path.c_str(), &st) == 0) {
            if (S_ISDIR(st.st_mode)) return path;
            continue;
        }
        if (::mkdir(path.c_str(), 0755) == 0) return path;
        if (errno == EEXIST) continue;
        problem = "cannot create the folder " + path + ": " + std::strerror(errno);
        return {};
    }
    problem = "no free name for the folder " + safe;
    return {};
}

}  // namespace quarvell
