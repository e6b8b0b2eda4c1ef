// The byte matcher: table order, the wildcard, one-byte signatures, the fast header index.
#include <random>

#include "RawTestSupport.h"
#include "raw/SignatureMatcher.h"

using namespace rawtest;

namespace {

SignatureMatchEntry entry(std::initializer_list<uint8_t> header, std::initializer_list<uint8_t> footer = {}) {
    SignatureMatchEntry e;
    std::copy(header.begin(), header.end(), e.header.begin());
    std::copy(footer.begin(), footer.end(), e.footer.begin());
    e.headerLength = uint8_t(header.size());
    e.footerLength = uint8_t(footer.size());
    return e;
}

}  // namespace

TEST(SignatureMatcher, WildcardMatchesAnyByteAndOneByteNeverMatches) {
    SignatureMatcher m;
    m.build({entry({0x52, 0x49, 0x2A, 0x2A, 0x57}), entry({0x41})});
    const uint8_t riff[10] = {0x52, 0x49, 0x00, 0xFF, 0x57};
    const uint8_t other[10] = {0x52, 0x49, 0x00, 0xFF, 0x58};
    const uint8_t single[10] = {0x41, 0x41, 0x41};
    EXPECT_EQ(m.matchAt(riff).kind, 'S');
    EXPECT_EQ(m.matchAt(riff).number, 0);
    EXPECT_EQ(m.matchAt(other).number, -1);
    EXPECT_EQ(m.matchAt(other).kind, 0);
    EXPECT_EQ(m.matchAt(single).number, -1);
    EXPECT_EQ(m.matchAt(riff, 4).number, -1);  // a signature longer than what remains never matches
}

TEST(SignatureMatcher, HeadersComeBeforeFootersAndEarlierSignaturesWin) {
    SignatureMatcher m;
    m.build({entry({0x11, 0x22}, {0xAA, 0xBB}), entry({0xAA, 0xBB, 0xCC}), entry({0x2A, 0x22})});
    const uint8_t ab[10] = {0xAA, 0xBB, 0xCC};
    const uint8_t abOnly[10] = {0xAA, 0xBB, 0x00};
    const uint8_t x22[10] = {0x11, 0x22};
    EXPECT_EQ(m.matchAt(ab).kind, 'S');  // signature 1's header before signature 0's footer
    EXPECT_EQ(m.matchAt(ab).number, 1);
    EXPECT_EQ(m.matchAt(abOnly).kind, 'E');
    EXPECT_EQ(m.matchAt(abOnly).number, 0);
    EXPECT_EQ(m.matchAt(x22).number, 0);  // both 0 and the wildcard 2 match: 0 wins
    EXPECT_EQ(m.headerAt(x22, 10), 0);
    const uint8_t y22[10] = {0x99, 0x22};
    EXPECT_EQ(m.headerAt(y22, 10), 2);
}

TEST(SignatureMatcher, HeaderIndexAgreesWithTheTableOnRandomBytes) {
    std::mt19937 rng(7);
    std::vector<SignatureMatchEntry> entries;
    for (int i = 0; i < 40; ++i) {
        SignatureMatchEntry e;
        e.headerLength = uint8_t(1 + rng() % 4);
        for (int k = 0; k < e.headerLength; ++k) e.header[size_t(k)] = uint8_t(rng() % 5 == 0 ? 0x2A : rng() % 4);
        entries.push_back(e);
    }
    SignatureMatcher m;
    m.build(entries);
    for (int t = 0; t < 20000; ++t) {
        uint8_t bytes[10];
        for (auto& b : bytes) b = uint8_t(rng() % 4);
        MatchResult full = m.matchAt(bytes);
        int64_t header = m.headerAt(bytes, 10);
        EXPECT_EQ(header, full.kind == 'S' ? full.number : -1);
    }
}

TEST(SignatureMatcher, FooterFoundAtAnyByteWithinItsBounds) {
    SignatureMatcher m;
    m.build({entry({0x01, 0x02}, {0x00, 0x3B}), entry({0x03, 0x04}, {0x2A, 0x2A})});
    std::vector<uint8_t> data(100, 0);
    data[37] = 0x3B;
    data[99] = 0x3B;
    EXPECT_EQ(m.findFooter(0, data.data(), data.size(), 0, 100), 36);
    EXPECT_EQ(m.findFooter(0, data.data(), data.size(), 37, 100), 98);
    EXPECT_EQ(m.findFooter(0, data.data(), data.size(), 37, 98), -1);
    EXPECT_EQ(m.findFooter(0, data.data(), 99, 37, 100), -1);  // the footer's last byte lies past the data
    EXPECT_EQ(m.findFooter(1, data.data(), data.size(), 5, 100), 5);
}
