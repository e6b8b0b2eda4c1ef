#pragma once
// The bytes a structure walker reads: the carved medium seen through one cached block, with a
// limit (the medium's end or the type's approximate size, whichever comes first). Reading at or
// past the limit throws PastLimit, so a walker never runs off its range and never needs to
// check every read itself.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quarvell {

class readWriteInterface;

struct PastLimit {};

class WalkSource {
public:
    static constexpr int64_t kBlockSize = 65536;

    WalkSource(readWriteInterface& reader, int64_t mediumSize);

    int64_t mediumSize() const { return mediumSize_; }
    int64_t limit() const { return limit_; }
    void setLimit(int64_t limit);

    uint8_t u8(int64_t at) { return *view(at, nullptr); }
    // The byte at `at`, or -1 at or past the limit (for looking ahead without failing).
    int peek(int64_t at);
    uint16_t le16(int64_t at);
    uint32_t le32(int64_t at);
    uint64_t le64(int64_t at);
    uint16_t be16(int64_t at);
    uint32_t be32(int64_t at);
    uint64_t be64(int64_t at);
    void read(int64_t at, uint8_t* out, size_t count);
    // True when the bytes at `at` are `text` (false when they reach past the limit).
    bool matches(int64_t at, const char* text, size_t count);

    // Bytes from `at` to the end of the cached block (or the limit), at least one.
    const uint8_t* view(int64_t at, size_t* available);
    // First position from `from` on holding `byte`; throws PastLimit when there is none.
    int64_t find(int64_t from, uint8_t byte);
    // First position from `from` on where `text` starts; throws PastLimit when there is none.
    // What a search learnt is kept per text, so walks of headers further on (a ZIP's members,
    // archives without an end record every few sectors) never search the same bytes again.
    int64_t find(int64_t from, const char* text, size_t count);

    // Bytes read from the medium, for tests.
    int64_t bytesRead() const { return bytesRead_; }
    // Throws PastLimit unless [.., end) lies inside the limit.
    void need(int64_t end) const {
        if (end > limit_ || end < 0) throw PastLimit{};
    }

private:
    readWriteInterface& reader_;
    int64_t mediumSize_;
    int64_t limit_;
    // For one text: no occurrence starts in [from, clearTo); `hit`, when set, is the one at clearTo.
    struct SearchMemo {
        std::string text;
        int64_t from = -1;
        int64_t clearTo = 0;
        int64_t hit = -1;
    };
    SearchMemo& memoFor(const char* text, size_t count);

    std::vector<SearchMemo> memos_;
    int64_t bytesRead_ = 0;
    std::vector<uint8_t> block_;
    int64_t blockStart_ = -1;
    int64_t blockValid_ = 0;
};

}  // namespace quarvell
