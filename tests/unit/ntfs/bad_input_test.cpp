// Hostile and damaged input: run lists with huge lengths and offsets, attributes that do not fit,
// fixups pointing outside the record, parent loops, attribute lists naming their own record, and
// random damage to the MFT. No crash, no endless loop, bounded output.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "NtfsImage.h"
#include "common/Bytes.h"
#include "fs/ntfs/NtfsRecord.h"
#include "scan/RecycleBinNames.h"
#include "../scan/TempFolder.h"

using namespace quarvell;
using namespace quarvell::testing;

namespace {

TEST(Runs, HugeLengthsAndOffsetsAreCutAtTheAttributesClusterCount) {
    // 8-byte length of 2^63 at an 8-byte offset of 2^62, then a negative delta taking it below 0.
    const uint8_t runs[] = {0x88, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0x40,
                            0x11, 5, 0x80, 0x00};
    const auto out = decodeRuns(runs, sizeof runs, 1000);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].count, 1000u);
    EXPECT_EQ(out[0].start, int64_t(1) << 62);
    const auto two = decodeRuns(runs, sizeof runs, UINT64_MAX);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[1].start, (int64_t(1) << 62) - 128);
}

TEST(Runs, SignExtensionSparseRunsAndMalformedHeaders) {
    const uint8_t runs[] = {0x31, 4, 0xFF, 0xFF, 0xFF, 0x01, 3, 0x11, 2, 0x02, 0x00};
    const auto out = decodeRuns(runs, sizeof runs, 100);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].start, -1);  // a three-byte 0xFFFFFF is -1
    EXPECT_TRUE(out[1].sparse);
    EXPECT_EQ(out[2].start, 1);   // a sparse run leaves the running cluster alone
    const uint8_t tooWide[] = {0x19, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};  // a 9-byte length
    EXPECT_TRUE(decodeRuns(tooWide, sizeof tooWide, 100).empty());
    const uint8_t cutShort[] = {0x44, 1, 2};
    EXPECT_TRUE(decodeRuns(cutShort, sizeof cutShort, 100).empty());
}

std::vector<uint8_t> emptyRecord() {
    std::vector<uint8_t> r(1024, 0);
    std::memcpy(r.data(), "FILE", 4);
    r[4] = 48;  // update sequence at 48, three words
    r[6] = 3;
    r[20] = 56;  // first attribute
    r[24] = 0;
    r[25] = 4;   // bytes in use: 1024
    return r;
}

void putAttribute(std::vector<uint8_t>& r, size_t at, uint32_t type, uint32_t length) {
    std::memcpy(&r[at], &type, 4);
    std::memcpy(&r[at + 4], &length, 4);
}

TEST(Attributes, AWalkStopsAtALengthOfZeroOrOnePastTheRecord) {
    auto r = emptyRecord();
    putAttribute(r, 56, kAttrStandardInfo, 96);
    putAttribute(r, 152, kAttrFileName, 0);
    EXPECT_EQ(walkAttributes(r.data(), r.size()).size(), 1u);
    putAttribute(r, 152, kAttrFileName, 5000);
    EXPECT_EQ(walkAttributes(r.data(), r.size()).size(), 1u);
    putAttribute(r, 152, kAttrData, 24);
    r[152 + 16] = 0xFF;  // resident value longer than the attribute
    r[152 + 17] = 0xFF;
    const auto attrs = walkAttributes(r.data(), r.size());
    ASSERT_GE(attrs.size(), 2u);
    EXPECT_EQ(attrs[1].valueLength, 0u);
    r[20] = 0xF0;  // first attribute offset past the bytes in use
    r[21] = 0x03;
    EXPECT_TRUE(walkAttributes(r.data(), r.size()).empty());
}

TEST(Attributes, AFileNameLongerThanItsAttributeIsNotTaken) {
    auto r = emptyRecord();
    putAttribute(r, 56, kAttrFileName, 24 + 66 + 10);
    r[56 + 16] = 66 + 10;  // value length: room for 5 characters
    r[56 + 20] = 24;
    r[56 + 24 + 64] = 255;  // claims 255
    EXPECT_TRUE(parseRecordBytes(r.data(), r.size()).names.empty());
    r[56 + 24 + 64] = 5;
    std::memcpy(&r[56 + 24 + 66], "a\0b\0c\0d\0e\0", 10);
    const ParsedRecord p = parseRecordBytes(r.data(), r.size());
    ASSERT_EQ(p.names.size(), 1u);
    EXPECT_EQ(p.names[0].name, "abcde");
}

TEST(Fixups, PositionsOutsideTheRecordAreSkipped) {
    auto r = emptyRecord();
    r[4] = 0xFE;  // update sequence array at 1022, 0xFFFF words
    r[5] = 0x03;
    r[6] = 0xFF;
    r[7] = 0xFF;
    const auto before = r;
    applyFixups(r.data(), r.size(), 512);
    EXPECT_EQ(r, before);
    auto s = emptyRecord();
    s[48 + 2] = 0xAA;
    s[48 + 3] = 0xBB;
    applyFixups(s.data(), s.size(), 512);
    EXPECT_EQ(s[510], 0xAA);
    EXPECT_EQ(s[511], 0xBB);
}

class Damaged : public ::testing::Test {
protected:
    static void SetUpTestSuite() { bytes_ = new std::vector<uint8_t>(unxz(fixturePath("basic.img.xz"))); }
    static void TearDownTestSuite() { delete bytes_; }
    static std::vector<uint8_t>* bytes_;

    // Byte offset of the record of the entry at that path in the undamaged volume.
    static uint64_t recordOf(const std::string& path, int64_t* index = nullptr) {
        NtfsImage img(*bytes_);
        const auto item = img.find(path);
        if (!item) return 0;
        if (index) *index = item->key;
        return img.parser().entry(item->key)->recordOffset;
    }
    // The file name attribute's value in a record of the image.
    static uint8_t* fileNameValue(std::vector<uint8_t>& image, uint64_t record) {
        for (const NtfsAttribute& a : walkAttributes(&image[record], 1024))
            if (a.type == kAttrFileName) return &image[record + a.valueOffset];
        return nullptr;
    }
};
std::vector<uint8_t>* Damaged::bytes_ = nullptr;

TEST_F(Damaged, AParentLoopMakesItsMembersOrphansInsteadOfHidingThem) {
    std::vector<uint8_t> image = *bytes_;
    int64_t still = 0;
    recordOf("docs/deep/er/still", &still);
    uint8_t* deep = fileNameValue(image, recordOf("docs/deep"));
    ASSERT_TRUE(deep && still > 0);
    std::memcpy(deep, &still, 6);  // deep's parent is now its own grandchild
    NtfsImage img(image);
    ASSERT_TRUE(img.ok());
    bool found = false;
    for (const auto& i : img.items())
        if (i.path.size() >= 10 && i.path.compare(i.path.size() - 10, 10, "nested.txt") == 0 &&
            i.path.rfind("ORPHAN_ENTRY/", 0) == 0)
            found = true;
    EXPECT_TRUE(found);
    EXPECT_FALSE(img.find("docs/deep"));
}

// Saving reads the records beside an unreadable one on the exact path, and never the
// unreadable one again: through the cache every record near a bad sector failed first.
TEST_F(Damaged, RecordsBesideABadSectorAreReadWithoutFailedReads) {
    const uint64_t bad = recordOf("docs/deep/er/still") / 512;
    ASSERT_GT(bad, 0u);
    NtfsImage img(*bytes_, ParseMode::Standard, {}, {bad, bad + 1}, 16);
    ASSERT_TRUE(img.ok());
    EXPECT_GT(img.parsed.unreadableMetadata, 0u);
    const auto items = img.items();
    const int failedInParse = img.reader.failedReads;
    TempFolder out;
    int saved = 0;
    for (const auto& i : items) {
        if (i.folder || i.path.find('$') != std::string::npos) continue;  // $MFT's data holds the bad sectors
        const SaveReport r = saveTo(img.adapter(), i.key, out.str() + "/f" + std::to_string(saved++));
        EXPECT_EQ(r.status, SaveStatus::Complete) << i.path << " " << r.problem;
    }
    EXPECT_GT(saved, 0);
    EXPECT_EQ(img.reader.failedReads, failedInParse);
}

TEST_F(Damaged, AnAttributeListNamingItsOwnRecordLosesOnlyTheExtents) {
    std::vector<uint8_t> image = *bytes_;
    int64_t index = 0;
    const uint64_t base = recordOf("big/many_runs.bin", &index);
    NtfsImage good(image);
    const uint64_t cluster = good.parser().clusterSize();
    // Point every entry of the (non-resident) attribute list at the base record itself.
    std::vector<uint8_t> rec(image.begin() + ptrdiff_t(base), image.begin() + ptrdiff_t(base + 1024));
    applyFixups(rec.data(), rec.size(), 512);
    bool patched = false;
    for (const NtfsAttribute& a : walkAttributes(rec.data(), rec.size())) {
        if (a.type != kAttrAttributeList || !a.nonResident) continue;
        const auto runs = attributeRuns(rec.data(), a);
        ASSERT_FALSE(runs.empty());
        uint8_t* list = &image[uint64_t(runs[0].start) * cluster];
        for (size_t p = 0; p + 26 <= a.realSize;) {
            const uint16_t len = le16(list + p + 4);
            if (len < 26) break;
            std::memcpy(list + p + 16, &index, 6);
            p += len;
        }
        patched = true;
    }
    ASSERT_TRUE(patched);
    NtfsImage img(image);
    const auto item = img.find("big/many_runs.bin");
    ASSERT_TRUE(item);
    TempFolder out;
    const SaveReport r = saveTo(img.adapter(), item->key, out.str() + "/f");
    ASSERT_TRUE(r.saved());
    EXPECT_EQ(r.status, SaveStatus::Incomplete);
    EXPECT_EQ(r.bytesWritten, 3276800u);
    EXPECT_GT(r.missingBytes, 0u);
}

TEST_F(Damaged, HugeRunsOfAFileBecomeMissingDataAndTheSaveEnds) {
    std::vector<uint8_t> image = *bytes_;
    const uint64_t record = recordOf("big/one.bin");
    std::vector<uint8_t> rec(image.begin() + ptrdiff_t(record), image.begin() + ptrdiff_t(record + 1024));
    for (const NtfsAttribute& a : walkAttributes(rec.data(), rec.size())) {
        if (a.type != kAttrData) continue;
        // One run of 2^40 clusters at cluster 2^50; the real size claims 2^62 bytes.
        uint8_t* p = &image[record + a.runOffset];
        const uint8_t run[] = {0x77, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 4, 0};
        std::memcpy(p, run, sizeof run);
        const uint64_t huge = uint64_t(1) << 62;
        std::memcpy(&image[record + a.offset + 24], &huge, 8);  // last VCN
        std::memcpy(&image[record + a.offset + 40], &huge, 8);  // allocated size
        std::memcpy(&image[record + a.offset + 48], &huge, 8);  // real size
        std::memcpy(&image[record + a.offset + 56], &huge, 8);  // initialized size
    }
    NtfsImage img(image);
    const auto item = img.find("big/one.bin");
    ASSERT_TRUE(item);
    const FileData d = img.adapter().fileData(item->key);
    EXPECT_LE(d.size, uint64_t(4) << 30);
    for (const DataRun& r : d.runs) EXPECT_NE(r.kind, DataRun::Kind::Volume);
}

TEST_F(Damaged, RandomDamageToTheMftNeitherCrashesNorHangs) {
    NtfsImage good(*bytes_);
    const uint64_t mft = good.parser().bootSector().mftCluster * good.parser().clusterSize();
    std::mt19937 rng(9);
    for (int round = 0; round < 12; ++round) {
        std::vector<uint8_t> image = *bytes_;
        for (int k = 0; k < 400; ++k) image[mft + rng() % (100 * 1024)] = uint8_t(rng());
        for (ParseMode mode : {ParseMode::Standard, ParseMode::Deep}) {
            NtfsImage img(image, mode);
            if (!img.ok()) continue;
            TempFolder out;
            int n = 0;
            for (const auto& item : img.items()) {
                if (item.folder || n > 40) continue;
                const FileData d = img.adapter().fileData(item.key);
                if (d.size > (64u << 20)) continue;  // keep the test quick; bounded anyway
                saveTo(img.adapter(), item.key, out.str() + "/" + std::to_string(n++));
            }
        }
    }
}

TEST(RecycleIndex, FormerNamesOfBothRecordVersions) {
    auto record = [](uint64_t version, const std::u16string& path, bool counted) {
        std::vector<uint8_t> r(24, 0);
        std::memcpy(r.data(), &version, 8);
        if (counted) {
            const uint32_t n = uint32_t(path.size() + 1);
            r.insert(r.end(), reinterpret_cast<const uint8_t*>(&n), reinterpret_cast<const uint8_t*>(&n) + 4);
        }
        for (char16_t c : path) {
            r.push_back(uint8_t(c));
            r.push_back(uint8_t(c >> 8));
        }
        r.push_back(0);
        r.push_back(0);
        return r;
    };
    EXPECT_EQ(formerNameFromIndexRecord(record(2, u"C:\\a\\b\\report.docx", true)), "report.docx");
    EXPECT_EQ(formerNameFromIndexRecord(record(1, u"D:\\photo \u00e9.jpg", false)), "photo \xc3\xa9.jpg");
    EXPECT_EQ(formerNameFromIndexRecord(record(1, u"noslash", false)), "noslash");
    EXPECT_FALSE(formerNameFromIndexRecord(record(1, u"C:\\dir\\", false)));
    EXPECT_FALSE(formerNameFromIndexRecord(std::vector<uint8_t>(20, 0)));
    // A character count past the record's end reads only what is there.
    auto r = record(2, u"C:\\x.txt", true);
    r[24] = 0xFF;
    r[25] = 0xFF;
    EXPECT_EQ(formerNameFromIndexRecord(r), "x.txt");
}

}  // namespace
