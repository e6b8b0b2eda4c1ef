#include "raw/myJpg.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>

#include "common/TextFormat.h"
#include "common/UiSink.h"
#include "common/WorkerControl.h"
#include "disk/SalvagingRead.h"
#include "disk/readWriteInterface.h"
#include "raw/walkers/Walker.h"

namespace quarvell {

namespace {

constexpr int64_t kReadSize = 131072;  // bytes scanned per read
constexpr int64_t kLookahead = 1024;   // bytes read past a piece so matches may straddle it
constexpr int64_t kNone = INT64_MAX;

int64_t alignUp(int64_t v, int64_t a) { return v > INT64_MAX - a ? INT64_MAX - (INT64_MAX % a) : (v + a - 1) / a * a; }

}  // namespace

bool myJpg::prepareMatcher() {
    if (signatures.size() != matchEntries.size()) return false;
    try {
        if (!matcher_.build(matchEntries)) return false;
        const size_t n = signatures.size();
        pending_.assign(n, {});
        footerFrom_.assign(n, 0);
        footerHit_.assign(n, kNone);
        footerHitChunk_.assign(n, -1);
        active_.clear();
        active_.reserve(n);
        walkers_.assign(n, nullptr);
        for (size_t s = 0; s < n; ++s)
            walkers_[s] = walkerForSignature(extensionText(s), matchEntries[s].header.data(),
                                             std::min<size_t>(matchEntries[s].headerLength, kMaxSignatureBytes));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

std::string myJpg::extensionText(size_t s) const {
    return unitsToUtf8(signatures[s].extension.data(), kExtensionUnits);
}

std::string myJpg::categoryText(size_t s) const { return unitsToUtf8(signatures[s].category.data(), kCategoryUnits); }

std::string myJpg::carvedName(size_t item) const {
    const CarvedItem& c = carvedItems[item];
    return format("%lld .", static_cast<long long>(c.start)) + extensionText(size_t(c.signature));
}

std::string myJpg::formatText(size_t item) const {
    size_t count = 0;
    const Walker* all = allWalkers(count);
    const int32_t f = carvedItems[item].format;
    return f >= 0 && size_t(f) < count ? all[f].format : "signature";
}

std::string myJpg::carvedCategory(size_t item) const { return categoryText(size_t(carvedItems[item].signature)); }

void myJpg::setUpTree() {
    std::map<std::string, TreeItem> items;
    if (tree) topItem = tree->insertItem(kRawTopItemText, kIconFolder, kNoItem);
    for (size_t s = 0; s < signatures.size(); ++s) {
        std::string name = categoryText(s);
        categoryCounts.emplace(name, 0);
        auto it = items.find(name);
        if (it == items.end()) {
            TreeItem item = tree ? tree->insertItem(name, kIconCategory, topItem) : kNoItem;
            it = items.emplace(name, item).first;
        }
        signatures[s].categoryItem = it->second;
    }
    if (tree) tree->expand(topItem);
}

int64_t myJpg::skipStep(size_t s) const {
    int64_t skip = signatures[s].skipAmount;
    if (skip <= kSectorSize) return kSectorSize;
    return skip / kSectorSize * kSectorSize;
}

void myJpg::record(int64_t start, int64_t length, size_t s, bool exact, int32_t walker) {
    length = std::max<int64_t>(0, std::min(length, mediumSize - start));
    carvedItems.push_back({start, length, int64_t(s), walker, exact});
    RawSignature& sig = signatures[s];
    ++sig.filesFound;
    std::string category = categoryText(s);
    int64_t count = ++categoryCounts[category];
    if (!tree) return;
    tree->setItemText(sig.categoryItem, format("%s (%lld)", category.c_str(), static_cast<long long>(count)));
    tree->insertItem(carvedName(carvedItems.size() - 1), kIconFile, sig.categoryItem, int64_t(carvedItems.size() - 1));
}

bool myJpg::carve() {
    if (!prepareMatcher()) {
        if (sink) sink->messageBox(kNotInitializedText, kCaption, MsgIcon::Information);
        return false;
    }
    carvedItems.clear();
    categoryCounts.clear();
    for (auto& s : signatures) s.headersFound = s.filesFound = 0;
    setUpTree();
    if (sink) sink->setProgressRange(0, 1000);

    std::vector<uint8_t> buffer;
    try {
        buffer.resize(size_t(kReadSize + kLookahead));
    } catch (const std::bad_alloc&) {
        return false;
    }
    const int64_t size = std::max<int64_t>(mediumSize, 0);
    const int64_t chunks = size / kChunkSize;
    if (sink) sink->setProgressRange(0, chunks);
    nextHeader_ = 0;
    stopped_ = false;
    unreadable_.clear();
    findsOverUnreadable = 0;
    std::unique_ptr<WalkSource> walkSource;
    if (reader) walkSource = std::make_unique<WalkSource>(*reader, size);
    walkSource_ = walkSource.get();

    // The medium is read in pieces small enough to stay in the processor's cache while they
    // are scanned; progress, pause and stop go by 1 MiB chunks.
    for (int64_t piece = 0; piece * kReadSize < size && reader; ++piece) {
        const int64_t start = piece * kReadSize;
        if (start % kChunkSize == 0) {
            if (start / kChunkSize < chunks && sink) sink->setProgressPos(start / kChunkSize);
            if (control && control->poll()) {
                stopped_ = true;
                break;
            }
        }
        Buffer b{buffer.data(), size_t(std::min(kReadSize + kLookahead, size - start)), start,
                 std::min(start + kReadSize, size), piece};
        readSalvaging(*reader, b.chunkStart, buffer.data(), uint32_t(b.valid), uint32_t(kSectorSize),
                      [this](int64_t at, uint32_t lost) { noteUnreadable(at, lost); });
        scanChunk(b);
        if (stopped_) break;
    }
    if (!stopped_) {
        if (sink) sink->setProgressPos(chunks);
        finishPending();
    }
    capUnsureEnds();
    markUnreadableFinds();
    walkSource_ = nullptr;
    if (control) control->clear();  // a Stop ends this carving only; an abort stays set
    if (sink) sink->messageBox(kCarveDoneText, kCaption, MsgIcon::Information);
    return true;
}

bool myJpg::stopAsked() const {
    return control && (control->stopRequested.load(std::memory_order_relaxed) ||
                       control->abortRequested.load(std::memory_order_relaxed));
}

void myJpg::scanChunk(const Buffer& b) {
    for (int64_t p = b.chunkStart; p < b.chunkEnd; p += kSectorSize) {
        if (stopAsked()) {
            stopped_ = true;
            return;
        }
        if (p >= nextHeader_) {
            size_t off = size_t(p - b.chunkStart);
            int64_t s = matcher_.headerAt(b.data + off, std::min<size_t>(b.valid - off, kMaxSignatureBytes));
            if (s >= 0) onHeader(b, size_t(s), p);
        }
        if (!active_.empty()) footersInSector(b, std::min(p + kSectorSize, b.chunkEnd));
    }
}

// The walker's verdict on a header: true when it decided (a file recorded, or no file here),
// false when the signature's own rules are to find the end.
bool myJpg::walkHeader(size_t s, int64_t p) {
    const Walker* walker = walkers_[s];
    if (!walker || !walkSource_) return false;
    const WalkResult r = walkFile(*walker, *walkSource_, p, signatures[s].approximateSize);
    size_t count = 0;
    const int32_t format = int32_t(walker - allWalkers(count));
    switch (r.end) {
        case WalkEnd::NotThisType:
            nextHeader_ = p + kSectorSize;
            return true;
        case WalkEnd::Exact:
            ++signatures[s].headersFound;
            record(p, r.length, s, true, format);
            // Headers inside the file (a ZIP's members, a JPEG's thumbnail) are part of it.
            nextHeader_ = std::max(p + kSectorSize, alignUp(p + r.length, kSectorSize));
            return true;
        case WalkEnd::Truncated:
            ++signatures[s].headersFound;
            record(p, r.length, s, false, format);
            nextHeader_ = p + kSectorSize;
            return true;
        case WalkEnd::Unknown:
            return false;
    }
    return false;
}

void myJpg::capUnsureEnds() {
    // An end a walker could not confirm (a damaged or cut file of a walked type) reaches no
    // further than the next find: on media full of plausible headers the finds then add up to
    // no more than the medium.
    std::vector<int64_t> starts;
    bool any = false;
    for (const CarvedItem& c : carvedItems) any = any || (!c.exact && walkers_[size_t(c.signature)]);
    if (!any) return;
    starts.reserve(carvedItems.size());
    for (const CarvedItem& c : carvedItems) starts.push_back(c.start);
    std::sort(starts.begin(), starts.end());
    for (CarvedItem& c : carvedItems) {
        if (c.exact || !walkers_[size_t(c.signature)]) continue;
        auto next = std::upper_bound(starts.begin(), starts.end(), c.start);
        if (next != starts.end() && *next - c.start < c.length) c.length = *next - c.start;
    }
}

// Pieces overlap by their lookahead, so a stretch may come twice: it joins the one before.
void myJpg::noteUnreadable(int64_t offset, int64_t length) {
    const int64_t end = offset + length;
    if (!unreadable_.empty() && offset <= unreadable_.back().second) {
        unreadable_.back().second = std::max(unreadable_.back().second, end);
        return;
    }
    unreadable_.push_back({offset, end});
}

// A find over bytes the medium could not give is not what the medium held: its end is not exact.
void myJpg::markUnreadableFinds() {
    if (unreadable_.empty()) return;
    for (CarvedItem& c : carvedItems) {
        auto after = std::upper_bound(unreadable_.begin(), unreadable_.end(), c.start,
                                      [](int64_t v, const std::pair<int64_t, int64_t>& r) { return v < r.second; });
        if (after == unreadable_.end() || after->first >= c.start + c.length) continue;
        c.spansUnreadable = true;
        c.exact = false;
        ++findsOverUnreadable;
    }
}

void myJpg::onHeader(const Buffer& b, size_t s, int64_t p) {
    if (walkHeader(s, p)) return;
    RawSignature& sig = signatures[s];
    ++sig.headersFound;
    if (sig.footerLength > 0) {
        if (pending_[s].empty()) {
            active_.push_back(s);
            footerFrom_[s] = std::max(footerFrom_[s], p);
            footerHitChunk_[s] = -1;
        }
        pending_[s].push_back(p);
        nextHeader_ = p + kSectorSize;
    } else if (sig.sizeFieldByteCount > 0 && sig.sizeFieldByteCount <= 8 && sig.sizeFieldOffset >= 0) {
        onSizeField(b, s, p);
    } else if (sig.approximateSize > 0) {
        record(p, sig.approximateSize, s, false);
        nextHeader_ = p + skipStep(s);
    } else {
        nextHeader_ = p + kSectorSize;  // a header alone says nothing of the file's length
    }
}

bool myJpg::readSizeField(const Buffer& b, size_t s, int64_t p, int64_t& size) {
    const RawSignature& sig = signatures[s];
    const int64_t at = p + sig.sizeFieldOffset;
    const uint32_t count = sig.sizeFieldByteCount;
    if (at + int64_t(count) > mediumSize) return false;
    uint8_t bytes[8] = {};
    if (at + int64_t(count) <= b.chunkStart + int64_t(b.valid)) {
        std::memcpy(bytes, b.data + (at - b.chunkStart), count);
    } else if (!reader->seek(at) || !reader->read(bytes, count)) {
        return false;
    }
    uint64_t raw = 0;
    for (uint32_t i = 0; i < count; ++i) raw |= uint64_t(bytes[i]) << (8 * i);
    // A 4-byte field is signed as the record's numbers are; an 8-byte one fills int64 itself.
    size = count == 4 ? int64_t(int32_t(uint32_t(raw))) : int64_t(raw);
    return true;
}

void myJpg::onSizeField(const Buffer& b, size_t s, int64_t p) {
    const RawSignature& sig = signatures[s];
    int64_t size = 0;
    if (!readSizeField(b, s, p, size)) size = 0;
    if (size > 0 && !sig.sizeIncludesHeader) size = size > INT64_MAX - int64_t(sig.headerSize) ? 0 : size + sig.headerSize;
    if (sig.approximateSize > 0 && size > sig.approximateSize) size = 0;
    if (size <= 0) {
        nextHeader_ = p + kSectorSize;
        return;
    }
    record(p, size, s, true);
    nextHeader_ = std::max(p + kSectorSize, alignUp(p + size, kSectorSize));
}

int64_t myJpg::nextFooter(const Buffer& b, size_t s) {
    if (footerHitChunk_[s] == b.number && footerHit_[s] >= footerFrom_[s]) return footerHit_[s];
    int64_t from = std::max(footerFrom_[s], b.chunkStart);
    int64_t q = -1;
    if (from < b.chunkEnd)
        q = matcher_.findFooter(s, b.data, b.valid, size_t(from - b.chunkStart), size_t(b.chunkEnd - b.chunkStart));
    footerHit_[s] = q < 0 ? kNone : b.chunkStart + q;
    footerHitChunk_[s] = b.number;
    return footerHit_[s];
}

void myJpg::footersInSector(const Buffer& b, int64_t sectorEnd) {
    for (;;) {
        size_t best = 0;
        int64_t bestAt = kNone;
        for (size_t s : active_) {
            if (pending_[s].empty()) continue;
            int64_t q = nextFooter(b, s);
            if (q < bestAt) {
                bestAt = q;
                best = s;
            }
        }
        if (bestAt >= sectorEnd) break;
        closeAtFooter(best, bestAt);
    }
    // A footer from here on would make these files longer than their approximate size.
    for (size_t s : active_) expireBefore(s, sectorEnd);
    deactivateIdle();
}

void myJpg::expireBefore(size_t s, int64_t q) {
    const RawSignature& sig = signatures[s];
    if (sig.approximateSize <= 0) return;
    auto& queue = pending_[s];
    while (!queue.empty() && queue.front() + sig.approximateSize - sig.footerLength < q) {
        record(queue.front(), sig.approximateSize, s, false);
        queue.pop_front();
    }
}

void myJpg::closeAtFooter(size_t s, int64_t q) {
    const RawSignature& sig = signatures[s];
    expireBefore(s, q);
    auto& queue = pending_[s];
    // The most recent header whose bytes end before the footer starts.
    auto it = queue.end();
    while (it != queue.begin()) {
        --it;
        if (*it + sig.headerLength <= q) {
            int64_t h = *it;
            queue.erase(it);
            record(h, q + sig.footerLength - h, s, true);
            footerFrom_[s] = q + sig.footerLength;
            nextHeader_ = std::max(nextHeader_, q / kSectorSize * kSectorSize + skipStep(s));
            return;
        }
    }
    footerFrom_[s] = q + 1;
}

void myJpg::deactivateIdle() {
    active_.erase(std::remove_if(active_.begin(), active_.end(), [this](size_t s) { return pending_[s].empty(); }),
                  active_.end());
}

void myJpg::finishPending() {
    // Headers still waiting at the medium's end: those with an approximate size are recorded
    // with it (cut at the medium's end), the others are dropped.
    for (size_t s : active_) {
        if (signatures[s].approximateSize > 0)
            for (int64_t h : pending_[s]) record(h, signatures[s].approximateSize, s, false);
        pending_[s].clear();
    }
    active_.clear();
}

}  // namespace quarvell
