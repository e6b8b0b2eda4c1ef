#include <algorithm>
#include <cctype>
#include <new>
#include <string>
#include <vector>

#include "raw/walkers/Walker.h"

namespace quarvell {

namespace {

const Walker kWalkers[] = {
    {"jpeg", walkJpeg}, {"png", walkPng},   {"gif", walkGif},     {"bmp", walkBmp},       {"tiff", walkTiff},
    {"pdf", walkPdf},   {"ole2", walkOle2}, {"zip", walkZip},     {"gzip", walkGzip},     {"7z", walk7z},
    {"riff", walkRiff}, {"isobmff", walkIsoMedia}, {"mp3", walkMp3}, {"sqlite", walkSqlite},
};

struct ExtensionWalker {
    const char* extension;
    size_t walker;  // index into kWalkers
};

const ExtensionWalker kByExtension[] = {
    {"jpg", 0},   {"jpeg", 0},  {"jpe", 0},  {"jfif", 0}, {"png", 1},  {"gif", 2},  {"bmp", 3},  {"dib", 3},
    {"tif", 4},   {"tiff", 4},  {"cr2", 4},  {"nef", 4},  {"arw", 4},  {"dng", 4},  {"pef", 4},  {"srw", 4},
    {"pdf", 5},   {"doc", 6},   {"xls", 6},  {"ppt", 6},  {"msg", 6},  {"msi", 6},  {"zip", 7},  {"docx", 7},
    {"xlsx", 7},  {"pptx", 7},  {"odt", 7},  {"ods", 7},  {"odp", 7},  {"jar", 7},  {"epub", 7}, {"apk", 7},
    {"gz", 8},    {"tgz", 8},   {"7z", 9},   {"wav", 10}, {"avi", 10}, {"webp", 10}, {"mp4", 11}, {"m4v", 11},
    {"mov", 11},  {"m4a", 11},  {"heic", 11}, {"heif", 11}, {"avif", 11}, {"3gp", 11}, {"3g2", 11}, {"mp3", 12},
    {"db", 13},   {"sqlite", 13},
};

// The opening bytes of each walker's format ('*' any byte), in kWalkers order.
const std::vector<std::string> kMagic[] = {
    {"\xFF\xD8"},
    {"\x89PNG"},
    {"GIF8"},
    {"BM"},
    {"II*\0", "MM\0*"},
    {"%PDF"},
    {"\xD0\xCF\x11\xE0"},
    {"PK\x03\x04"},
    {"\x1F\x8B"},
    {"7z\xBC\xAF"},
    {"RIFF"},
    {"****ftyp", "****wide", "****moov", "****mdat", "****free", "****skip"},
    {"ID3", "\xFF"},
    {"SQLite f"},
};

constexpr uint8_t kAnyByte = 0x2A;

}  // namespace

const Walker* walkerForSignature(const std::string& extension, const uint8_t* header, size_t headerLength) {
    const Walker* w = walkerForExtension(extension);
    if (!w) return nullptr;
    for (const std::string& magic : kMagic[size_t(w - kWalkers)]) {
        bool fits = true;
        for (size_t i = 0; i < magic.size() && i < headerLength && fits; ++i)
            fits = magic[i] == '*' || header[i] == kAnyByte || header[i] == uint8_t(magic[i]);
        if (fits) return w;
    }
    return nullptr;
}

const Walker* walkerForExtension(const std::string& extension) {
    std::string lower = extension;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    for (const auto& e : kByExtension)
        if (lower == e.extension) return &kWalkers[e.walker];
    return nullptr;
}

const Walker* allWalkers(size_t& count) {
    count = sizeof kWalkers / sizeof kWalkers[0];
    return kWalkers;
}

WalkResult walkFile(const Walker& walker, WalkSource& src, int64_t start, int64_t approximateSize) {
    const int64_t medium = src.mediumSize();
    if (start < 0 || start >= medium) return notThisType();
    const int64_t rest = medium - start;
    const int64_t maxLength = approximateSize > 0 ? std::min(approximateSize, rest) : rest;
    src.setLimit(start + maxLength);
    const bool limitIsMediumEnd = maxLength == rest;
    WalkResult r;
    try {
        r = walker.walk(src, start, approximateSize > 0 ? approximateSize : rest);
        if (r.end == WalkEnd::Exact && (r.length <= 0 || r.length > maxLength)) {
            if (r.length <= 0) r = unknownEnd();
            else throw PastLimit{};
        }
    } catch (const PastLimit&) {
        r = limitIsMediumEnd ? WalkResult{WalkEnd::Truncated, rest} : unknownEnd();
    } catch (const std::bad_alloc&) {
        r = unknownEnd();
    }
    src.setLimit(medium);
    return r;
}

}  // namespace quarvell
