#pragma once
// Reads the fixture manifests: {"label", "mode", "entries": [{"path", "folder", "deleted",
// "size", "sha256"}, ...]}. Enough JSON for what the fixture script writes.
#include <cstdint>
#include <string>
#include <vector>

#include "common/Utf.h"

namespace quarvell::testing {

struct ManifestEntry {
    std::string path;
    bool folder = false;
    bool deleted = false;
    uint64_t size = 0;
    std::string sha256;
};

struct Manifest {
    std::string mode;
    std::vector<ManifestEntry> entries;
};

namespace manifest_detail {
inline std::string readString(const std::string& s, size_t& i) {
    std::string out;
    for (++i; i < s.size() && s[i] != '"'; ++i) {
        if (s[i] != '\\') {
            out.push_back(s[i]);
            continue;
        }
        const char e = s[++i];
        if (e == 'u') {
            uint32_t cp = uint32_t(std::stoul(s.substr(i + 1, 4), nullptr, 16));
            i += 4;
            if (cp >= 0xD800 && cp < 0xDC00 && s.compare(i + 1, 2, "\\u") == 0) {
                const uint32_t lo = uint32_t(std::stoul(s.substr(i + 3, 4), nullptr, 16));
                cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                i += 6;
            }
            appendUtf8(out, cp);
        } else {
            out.push_back(e == 'n' ? '\n' : e == 't' ? '\t' : e);
        }
    }
    ++i;
    return out;
}
}  // namespace manifest_detail

inline Manifest parseManifest(const std::string& s) {
    using manifest_detail::readString;
    Manifest m;
    ManifestEntry cur;
    bool inEntry = false;
    std::string key;
    for (size_t i = 0; i < s.size();) {
        const char c = s[i];
        if (c == '"') {
            const std::string text = readString(s, i);
            while (i < s.size() && (s[i] == ' ' || s[i] == '\n')) ++i;
            if (i < s.size() && s[i] == ':') {
                key = text;
                ++i;
                continue;
            }
            if (key == "mode") m.mode = text;
            else if (key == "path") cur.path = text;
            else if (key == "sha256") cur.sha256 = text;
            continue;
        }
        if (c == '{' && !key.empty()) inEntry = true;
        else if (c == '}' && inEntry) {
            m.entries.push_back(cur);
            cur = ManifestEntry{};
            inEntry = false;
        } else if (s.compare(i, 4, "true") == 0 || s.compare(i, 5, "false") == 0) {
            const bool v = s[i] == 't';
            if (key == "folder") cur.folder = v;
            else if (key == "deleted") cur.deleted = v;
            i += v ? 4 : 5;
            continue;
        } else if (c >= '0' && c <= '9' && key == "size") {
            size_t used = 0;
            cur.size = std::stoull(s.substr(i, 24), &used);
            i += used;
            continue;
        }
        ++i;
    }
    return m;
}

}  // namespace quarvell::testing
