#pragma once
// The raw carving engine: reads the medium piece by piece, tests every 512-byte sector start
// against the headers of the loaded signatures, and closes a waiting header at its footer, at
// the size its size field gives, or at its approximate size. Finds go into the result tree as
// "RAW RECOVERY " -> category "name (count)" -> "offset .ext" and into carvedItems. Progress,
// pause and stop go by 1 MiB chunks.
// A signature whose extension has a structure walker (raw/walkers) is ended by the walker when
// the file's structure can be followed; a header whose fields are impossible for its type is no
// find, and a header inside a file a walker ended is not a new file. Ends the walker cannot
// tell are found by the signature's rules, and such an end never reaches past the next find.
#include <cstdint>
#include <deque>
#include <map>
#include <utility>
#include <string>
#include <vector>

#include "controls/ResultTree.h"
#include "raw/CarvedItem.h"
#include "raw/RawSignature.h"
#include "raw/SignatureMatchEntry.h"
#include "raw/SignatureMatcher.h"

namespace quarvell {

class readWriteInterface;
class WalkSource;
struct Walker;
class UiSink;
class WorkerControl;

inline constexpr const char* kRawTopItemText = "RAW RECOVERY ";
inline constexpr const char* kCarveDoneText = "Scanning processing done.Select save button to save the data..";
inline constexpr const char* kNotInitializedText = "not properly initialized";

class myJpg {
public:
    static constexpr int64_t kSectorSize = 512;
    static constexpr int64_t kChunkSize = 1048576;

    // Signature number i is element i of both vectors.
    std::vector<RawSignature> signatures;
    std::vector<SignatureMatchEntry> matchEntries;

    std::vector<CarvedItem> carvedItems;
    std::map<std::string, int64_t> categoryCounts;

    // Finds with bytes the medium could not give (they are not exact), after carve().
    int64_t findsOverUnreadable = 0;

    int64_t mediumSize = 0;                  // bytes from the reader's origin
    readWriteInterface* reader = nullptr;
    UiSink* sink = nullptr;                  // progress and messages (may be null)
    ResultTree* tree = nullptr;              // results (may be null)
    // The job's stop flag and pause gate (may be null): the gate is passed once per chunk, the
    // flags are looked at every sector; a stopped carving clears the stop flag on its way out.
    WorkerControl* control = nullptr;
    TreeItem topItem = kNoItem;

    bool prepareMatcher();
    MatchResult matchAt(const uint8_t* bytes, size_t available = kMaxSignatureBytes) const {
        return matcher_.matchAt(bytes, available);
    }
    // The whole scan. False when the matcher or the read buffer cannot be had.
    bool carve();

    // "%lld ." with the start offset, then the extension: the carved file's name.
    std::string carvedName(size_t item) const;
    std::string carvedCategory(size_t item) const;
    std::string extensionText(size_t signature) const;
    std::string categoryText(size_t signature) const;
    // How the item's end was found: the walker's format ("jpeg", "zip", ...) or "signature".
    std::string formatText(size_t item) const;

private:
    struct Buffer {
        const uint8_t* data;
        size_t valid;       // bytes read from chunkStart (the piece plus a lookahead)
        int64_t chunkStart;
        int64_t chunkEnd;
        int64_t number;     // which piece, for the footer cache
    };

    void setUpTree();
    void scanChunk(const Buffer& b);
    void onHeader(const Buffer& b, size_t s, int64_t p);
    void onSizeField(const Buffer& b, size_t s, int64_t p);
    void footersInSector(const Buffer& b, int64_t sectorEnd);
    int64_t nextFooter(const Buffer& b, size_t s);
    void closeAtFooter(size_t s, int64_t q);
    void expireBefore(size_t s, int64_t q);
    void deactivateIdle();
    void finishPending();
    void record(int64_t start, int64_t length, size_t s, bool exact, int32_t format = -1);
    bool walkHeader(size_t s, int64_t p);
    void capUnsureEnds();
    void noteUnreadable(int64_t offset, int64_t length);
    void markUnreadableFinds();
    int64_t skipStep(size_t s) const;
    bool readSizeField(const Buffer& b, size_t s, int64_t p, int64_t& size);
    bool stopAsked() const;

    SignatureMatcher matcher_;
    std::vector<std::deque<int64_t>> pending_;   // waiting header positions per signature
    std::vector<size_t> active_;                 // signatures with waiting headers
    std::vector<int64_t> footerFrom_;            // footers are searched from here on
    std::vector<int64_t> footerHit_;             // cached next footer (INT64_MAX: none in piece)
    std::vector<int64_t> footerHitChunk_;        // piece the cache belongs to (-1: stale)
    std::vector<const Walker*> walkers_;         // per signature (nullptr: none)
    WalkSource* walkSource_ = nullptr;           // during carve()
    std::vector<std::pair<int64_t, int64_t>> unreadable_;  // [start, end) the scan could not read, merged
    int64_t nextHeader_ = 0;                     // headers are tested from this sector on
    bool stopped_ = false;
};

}  // namespace quarvell
