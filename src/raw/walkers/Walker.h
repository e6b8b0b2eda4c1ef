#pragma once
// Structure walkers: for the built-in file types, the end of a carved file is read from the
// format's own structure (segment, chunk, box and block lengths, directories, page counts)
// instead of being guessed from a footer or an approximate size.
#include <cstdint>
#include <string>

#include "raw/walkers/WalkSource.h"

namespace quarvell {

enum class WalkEnd : uint8_t {
    Exact,        // the file is `length` bytes long
    NotThisType,  // the header's own fields are impossible: no file starts here
    Truncated,    // the structure runs past the medium's end: the file is cut there
    Unknown,      // damaged, unusual or longer than the type's approximate size
};

struct WalkResult {
    WalkEnd end = WalkEnd::Unknown;
    int64_t length = 0;
};

// A walker reads from `start` on, within src.limit(). `maxLength` is the type's approximate
// size (or the rest of the medium): a header field claiming more than that is impossible.
using WalkFunction = WalkResult (*)(WalkSource& src, int64_t start, int64_t maxLength);

struct Walker {
    const char* format;  // "jpeg", "png", "zip", ...
    WalkFunction walk;
};

// The walker for a signature's extension (any letter case), or nullptr.
const Walker* walkerForExtension(const std::string& extension);
// The walker for a signature: its extension's walker when the signature's header bytes can be
// that format's opening bytes (0x2A matching any byte), otherwise nullptr, so a user's own
// signature that merely shares an extension keeps the signature's rules.
const Walker* walkerForSignature(const std::string& extension, const uint8_t* header, size_t headerLength);
// Every walker, for tests and fuzzing.
const Walker* allWalkers(size_t& count);

// Runs a walker from `start` with the limit min(medium end, start + approximateSize) (the
// medium's end when approximateSize <= 0). Reading past the limit gives Truncated when the limit
// is the medium's end and Unknown otherwise; a result is never longer than the limit allows.
WalkResult walkFile(const Walker& walker, WalkSource& src, int64_t start, int64_t approximateSize);

// Helpers for the walkers.
inline WalkResult exactLength(int64_t length) { return {WalkEnd::Exact, length}; }
inline WalkResult notThisType() { return {WalkEnd::NotThisType, 0}; }
inline WalkResult unknownEnd() { return {WalkEnd::Unknown, 0}; }

WalkResult walkJpeg(WalkSource&, int64_t, int64_t);
WalkResult walkPng(WalkSource&, int64_t, int64_t);
WalkResult walkGif(WalkSource&, int64_t, int64_t);
WalkResult walkBmp(WalkSource&, int64_t, int64_t);
WalkResult walkTiff(WalkSource&, int64_t, int64_t);
WalkResult walkPdf(WalkSource&, int64_t, int64_t);
WalkResult walkOle2(WalkSource&, int64_t, int64_t);
WalkResult walkZip(WalkSource&, int64_t, int64_t);
WalkResult walkGzip(WalkSource&, int64_t, int64_t);
WalkResult walk7z(WalkSource&, int64_t, int64_t);
WalkResult walkRiff(WalkSource&, int64_t, int64_t);
WalkResult walkIsoMedia(WalkSource&, int64_t, int64_t);
WalkResult walkMp3(WalkSource&, int64_t, int64_t);
WalkResult walkSqlite(WalkSource&, int64_t, int64_t);

}  // namespace quarvell
