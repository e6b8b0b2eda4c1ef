// LZNT1 chunks built by hand: literals, back-references whose offset/length split moves with the
// position, stored chunks, and inputs or outputs that end too early.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fs/ntfs/Lznt1.h"

using namespace quarvell;

namespace {

// A compressed chunk: header (bit 15 set, size - 1), then the body.
std::vector<uint8_t> chunk(const std::vector<uint8_t>& body) {
    const uint16_t h = uint16_t(0xB000 | (body.size() - 1));
    std::vector<uint8_t> out{uint8_t(h), uint8_t(h >> 8)};
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

void literals(std::vector<uint8_t>& body, const std::string& text) {
    for (size_t i = 0; i < text.size(); i += 8) {
        body.push_back(0x00);
        for (size_t j = i; j < i + 8 && j < text.size(); ++j) body.push_back(uint8_t(text[j]));
    }
}

std::string run(const std::vector<uint8_t>& in, size_t capacity, bool* ok = nullptr) {
    std::vector<uint8_t> out(capacity);
    const Lznt1Result r = decompressLznt1(in.data(), in.size(), out.data(), out.size());
    if (ok) *ok = r.ok;
    return std::string(out.begin(), out.begin() + ptrdiff_t(r.produced));
}

TEST(Lznt1, LiteralsAndAShortBackReference) {
    std::vector<uint8_t> body;
    literals(body, "ABCDEFGH");
    body.insert(body.end(), {0x01, 0x05, 0x70});  // distance 8, length 8 (4 offset bits at p = 8)
    bool ok = false;
    EXPECT_EQ(run(chunk(body), 4096, &ok), "ABCDEFGHABCDEFGH");
    EXPECT_TRUE(ok);
}

TEST(Lznt1, TheOffsetLengthSplitFollowsThePositionInTheChunk) {
    const std::string head = "0123456789abcdefg";  // 17 bytes: p - 1 = 16 gives 5 offset bits
    std::vector<uint8_t> body;
    literals(body, head.substr(0, 16));
    body.insert(body.end(), {0x02, 'g', 0x02, 0x80});  // 'g', then 0x8002: distance 17, length 5
    EXPECT_EQ(run(chunk(body), 4096), head + "01234");
    // The same token read with the 4-bit split would give distance 9: "89abc".
    EXPECT_NE(run(chunk(body), 4096), head + "89abc");
}

TEST(Lznt1, AnOverlappingReferenceRepeatsItsBytes) {
    std::vector<uint8_t> body{0x02, 'x', 0x0D, 0x00};  // 'x', then distance 1, length 16
    EXPECT_EQ(run(chunk(body), 4096), std::string(17, 'x'));
}

TEST(Lznt1, AStoredChunkIsCopiedAsItIs) {
    std::vector<uint8_t> in{0xFF, 0x3F};  // bit 15 clear, size field 0xFFF: 4096 raw bytes
    for (int i = 0; i < 4096; ++i) in.push_back(uint8_t(i * 7));
    std::vector<uint8_t> second;
    literals(second, "END");
    const auto c = chunk(second);
    in.insert(in.end(), c.begin(), c.end());
    const std::string out = run(in, 8192);
    ASSERT_EQ(out.size(), 4099u);
    EXPECT_EQ(uint8_t(out[4095]), uint8_t(4095 * 7));
    EXPECT_EQ(out.substr(4096), "END");
}

TEST(Lznt1, AChunkRunningPastTheInputIsAnError) {
    std::vector<uint8_t> body;
    literals(body, "ABCDEFGH");
    std::vector<uint8_t> in = chunk(body);
    in[0] = 0x40;  // claims 65 bytes of body
    bool ok = true;
    EXPECT_EQ(run(in, 4096, &ok), "");
    EXPECT_FALSE(ok);
}

TEST(Lznt1, OutputPastTheUnitIsDroppedAndReported) {
    std::vector<uint8_t> body;
    literals(body, "ABCDEFGH");
    body.insert(body.end(), {0x01, 0xFD, 0x70});  // distance 8, length 4096
    bool ok = true;
    const std::string out = run(chunk(body), 100, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(out.size(), 100u);
    EXPECT_EQ(out.substr(0, 16), "ABCDEFGHABCDEFGH");
}

TEST(Lznt1, AReferenceBeforeTheChunkStartIsAnError) {
    std::vector<uint8_t> body{0x02, 'a', 0x00, 0x70};  // distance 8 at position 1
    bool ok = true;
    EXPECT_EQ(run(chunk(body), 4096, &ok), "a");
    EXPECT_FALSE(ok);
}

TEST(Lznt1, AZeroHeaderEndsTheInput) {
    std::vector<uint8_t> body;
    literals(body, "AB");
    std::vector<uint8_t> in = chunk(body);
    in.insert(in.end(), {0x00, 0x00, 0x05, 0xB0, 0x00, 'z'});
    bool ok = false;
    EXPECT_EQ(run(in, 4096, &ok), "AB");
    EXPECT_TRUE(ok);
}

}  // namespace
