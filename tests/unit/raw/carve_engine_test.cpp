// The carving engine on media in memory: where headers and footers are found, how files are
// closed, sized and named, and what happens at chunk edges, on bad sectors and on Stop.
#include "RawTestSupport.h"
#include "common/WorkerControl.h"
#include "raw/CarvedFileSaver.h"

using namespace rawtest;

namespace {

constexpr int64_t MiB = 1048576;
const std::initializer_list<uint8_t> kHead = {0xF1, 0xF2, 0xF3};
const std::initializer_list<uint8_t> kFoot = {0xE1, 0xE2};

SignatureFileRecord sized(int32_t offset, uint32_t bytes, uint32_t headerSize, bool includes, int64_t approx) {
    SignatureFileRecord r = record("siz", {0xD1, 0xD2, 0xD3}, {}, approx);
    r.sizeFieldOffset = offset;
    r.sizeFieldByteCount = bytes;
    r.headerSize = headerSize;
    r.sizeIncludesHeader = includes;
    return r;
}

void putLE32(std::vector<uint8_t>& m, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) m[at + size_t(i)] = uint8_t(v >> (8 * i));
}

}  // namespace

TEST(CarveEngine, FooterClosesMidSectorAndTheTreeNamesTheStart) {
    std::vector<uint8_t> m(8192, 0);
    put(m, 1000, kHead);  // not on a sector start: never a header
    put(m, 1024, kHead);
    put(m, 1024 + 700, kFoot);
    Carving c({record("abc", kHead, kFoot)}, m);
    ASSERT_TRUE(c.run());
    EXPECT_EQ(c.items(), (Items{{1024, 702}}));
    EXPECT_EQ(c.sink.messages, std::vector<std::string>{"Scanning processing done.Select save button to save the data.."});
    TreeItem top = c.tree.rootItem();
    EXPECT_EQ(c.tree.itemText(top), "RAW RECOVERY ");
    TreeItem category = c.tree.firstChild(top);
    EXPECT_EQ(c.tree.itemText(category), "Things (1)");
    TreeItem file = c.tree.firstChild(category);
    EXPECT_EQ(c.tree.itemText(file), "1024 .abc");
    EXPECT_EQ(c.tree.itemData(file), 0);
    EXPECT_EQ(c.tree.itemImage(file), kIconFile);
    EXPECT_EQ(c.tree.itemImage(category), kIconCategory);
}

TEST(CarveEngine, LastHeaderFirstPairingAndStrayFooters) {
    std::vector<uint8_t> m(16384, 0);
    put(m, 10, kFoot);      // no header waits: ignored
    put(m, 512, kHead);
    put(m, 1536, kHead);
    put(m, 2000, kFoot);    // closes the later header
    put(m, 5000, kFoot);    // then the earlier one
    Carving c({record("abc", kHead, kFoot)}, m);
    ASSERT_TRUE(c.run());
    EXPECT_EQ(c.items(), (Items{{1536, 466}, {512, 4490}}));
    EXPECT_EQ(c.engine().carvedName(1), "512 .abc");
    EXPECT_EQ(c.engine().signatures[0].headersFound, 2u);
    EXPECT_EQ(c.engine().signatures[0].filesFound, 2u);
}

TEST(CarveEngine, ApproximateSizeCapsWaitingHeaders) {
    std::vector<uint8_t> m(3 * MiB, 0);
    put(m, 0, kHead);
    put(m, 10000, kFoot);           // too far for a 4096-byte file
    put(m, 20480, kHead);           // never closed: recorded with the approximate size
    put(m, 3 * MiB - 1024, kHead);  // near the end: cut at the medium's end
    put(m, 40960, {0xC1, 0xC2});    // no approximate size, no footer: dropped
    put(m, 81920, {0xB1, 0xB2});    // no approximate size: runs to its footer however far
    put(m, 2 * MiB + 5, {0xB8, 0xB9});
    Carving c({record("cap", kHead, kFoot, 4096), record("drop", {0xC1, 0xC2}, {0xC8, 0xC9}),
               record("far", {0xB1, 0xB2}, {0xB8, 0xB9})},
              m);
    ASSERT_TRUE(c.run());
    EXPECT_EQ(c.items(), (Items{{0, 4096}, {20480, 4096}, {81920, 2 * MiB + 7 - 81920}, {3 * MiB - 1024, 1024}}));
}

TEST(CarveEngine, SizeFieldGivesTheLengthAndTheScanGoesOnAfterTheFile) {
    std::vector<uint8_t> m(64 * 1024, 0);
    put(m, 0, {0xD1, 0xD2, 0xD3});
    putLE32(m, 4, 1000);                 // + 16 header bytes = 1016
    put(m, 1024, {0xD1, 0xD2, 0xD3});    // right after the first file
    putLE32(m, 1028, 0xFFFFFFF0);        // negative: nothing, next sector
    put(m, 1536, {0xD1, 0xD2, 0xD3});
    putLE32(m, 1540, 5000000);           // above the approximate size: nothing
    put(m, 2048, {0xD1, 0xD2, 0xD3});    // size 0: nothing
    put(m, 2560, {0xD1, 0xD2, 0xD3});
    putLE32(m, 2564, 3000);              // a file covering the header at 4096
    put(m, 4096, {0xD1, 0xD2, 0xD3});
    putLE32(m, 4100, 100);
    put(m, 6144, {0xD1, 0xD2, 0xD3});
    putLE32(m, 6148, 100);
    Carving c({sized(4, 4, 16, false, MiB)}, m);
    ASSERT_TRUE(c.run());
    EXPECT_EQ(c.items(), (Items{{0, 1016}, {2560, 3016}, {6144, 116}}));
}

TEST(CarveEngine, SizeFieldWidthsAndOffsetsPastTheFirstSector) {
    std::vector<uint8_t> m(8192, 0);
    put(m, 0, {0xD1, 0xD2, 0xD3});
    put(m, 700, {0x34, 0x12, 0xFF, 0xFF});  // 2 bytes at 700: 0x1234, the rest ignored
    Carving two({sized(700, 2, 0, true, MiB)}, m);
    ASSERT_TRUE(two.run());
    EXPECT_EQ(two.items(), (Items{{0, 0x1234}}));
    // A size field with no offset gives no size: the header alone with its approximate size.
    Carving none({sized(-1, 4, 0, true, 300)}, m);
    ASSERT_TRUE(none.run());
    EXPECT_EQ(none.items(), (Items{{0, 300}}));
}

// Without an approximate size a header alone gives no length (no empty find), while a size field
// still does, cut at the medium's end.
TEST(CarveEngine, WithoutAnApproximateSizeOnlyASizeFieldRecords) {
    std::vector<uint8_t> m(8192, 0);
    put(m, 0, {0xA1, 0xA2});
    put(m, 1024, {0xD1, 0xD2, 0xD3});
    putLE32(m, 1028, 600);
    put(m, 4096, {0xD1, 0xD2, 0xD3});
    putLE32(m, 4100, 100000);
    Carving c({record("a", {0xA1, 0xA2}), sized(4, 4, 0, true, 0)}, m);
    ASSERT_TRUE(c.run());
    EXPECT_EQ(c.items(), (Items{{1024, 600}, {4096, 4096}}));
    EXPECT_TRUE(c.engine().carvedItems[0].exact);
}

// A user's own signature that shares a built-in extension but not its format's opening bytes
// keeps the footer rule; one with the format's bytes is ended by the format's structure.
TEST(CarveEngine, OnlySignaturesOfTheFormatGetItsWalker) {
    std::vector<uint8_t> m(8192, 0x11);
    put(m, 512, kHead);
    put(m, 2000, kFoot);
    Carving own({record("jpg", kHead, kFoot, 4096)}, m);
    ASSERT_TRUE(own.run());
    EXPECT_EQ(own.items(), (Items{{512, 1490}}));
    put(m, 512, {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x02, 0xFF, 0xC0, 0x00, 0x02, 0xFF, 0xDA, 0x00, 0x02, 0x55, 0xFF, 0xD9});
    Carving jpeg({record("jpg", {0xFF, 0xD8, 0xFF}, kFoot, 4096)}, m);
    ASSERT_TRUE(jpeg.run());
    EXPECT_EQ(jpeg.items(), (Items{{512, 17}}));
    EXPECT_EQ(jpeg.engine().formatText(0), "jpeg");
}

TEST(CarveEngine, SkipIsRoundedDownToWholeSectors) {
    std::vector<uint8_t> m(16384, 0);
    for (size_t p = 0; p < m.size(); p += 512) put(m, p, {0xA1, 0xA2});
    SignatureFileRecord small = record("a", {0xA1, 0xA2}, {}, 100);
    small.skipAmount = 1000;  // less than two sectors: one sector
    Carving one({small}, m);
    ASSERT_TRUE(one.run());
    EXPECT_EQ(one.items().size(), 32u);
    small.skipAmount = 5000;  // 4608 bytes: every ninth sector, still on the grid
    Carving nine({small}, m);
    ASSERT_TRUE(nine.run());
    EXPECT_EQ(nine.items(), (Items{{0, 100}, {4608, 100}, {9216, 100}, {13824, 100}}));
}

TEST(CarveEngine, MatchesAcrossChunkEdges) {
    std::vector<uint8_t> m(2 * MiB + 3000, 0);
    put(m, MiB - 512, kHead);
    put(m, MiB - 1, kFoot);                 // footer straddling the first chunk's end
    put(m, 2 * MiB - 512, {0xD1, 0xD2, 0xD3});
    putLE32(m, 2 * MiB - 2, 40);            // size field straddling the second chunk's end
    put(m, 2 * MiB + 512, kHead);           // header in the short last chunk
    put(m, 2 * MiB + 2998, kFoot);          // footer ending on the medium's last byte
    Carving c({record("abc", kHead, kFoot), sized(510, 4, 0, true, MiB)}, m);
    ASSERT_TRUE(c.run());
    EXPECT_EQ(c.items(), (Items{{MiB - 512, 513}, {2 * MiB - 512, 40}, {2 * MiB + 512, 2488}}));
}

TEST(CarveEngine, TinyMedia) {
    for (size_t size = 0; size <= 12; ++size) {
        std::vector<uint8_t> m(size, 0xF1);
        if (size >= 3) put(m, 0, kHead);
        Carving c({record("abc", kHead, {}, 100)}, m);
        ASSERT_TRUE(c.run()) << size;
        EXPECT_EQ(c.sink.messages.size(), 1u);
        if (size >= 3) EXPECT_EQ(c.items(), (Items{{0, int64_t(size)}})) << size;
        else EXPECT_TRUE(c.items().empty()) << size;
    }
}

TEST(CarveEngine, SharedCategoriesGetOneItemWithOneCount) {
    std::vector<uint8_t> m(8192, 0);
    put(m, 0, {0xA1, 0xA2});
    put(m, 512, {0xB1, 0xB2});
    put(m, 1024, {0xC1, 0xC2});
    Carving c({record("a", {0xA1, 0xA2}, {}, 10, "Pictures"), record("b", {0xB1, 0xB2}, {}, 10, "Audio"),
               record("c", {0xC1, 0xC2}, {}, 10, "Pictures")},
              m);
    ASSERT_TRUE(c.run());
    TreeItem pictures = c.tree.firstChild(c.tree.rootItem());
    TreeItem audio = c.tree.nextSibling(pictures);
    EXPECT_EQ(c.tree.itemText(pictures), "Pictures (2)");
    EXPECT_EQ(c.tree.itemText(audio), "Audio (1)");
    EXPECT_EQ(c.tree.nextSibling(audio), kNoItem);
    EXPECT_EQ(c.tree.itemText(c.tree.nextSibling(c.tree.firstChild(pictures))), "1024 .c");
    EXPECT_EQ(c.engine().categoryCounts["Pictures"], 2);
}

TEST(CarveEngine, UnreadableSectorsLoseOnlyThemselves) {
    std::vector<uint8_t> m(MiB, 0);
    put(m, 4096, kHead);
    put(m, 9000, kFoot);
    put(m, 20480, kHead);  // in the bad sector
    Carving c({record("abc", kHead, kFoot)}, m);
    c.reader.badSectors = {40};
    ASSERT_TRUE(c.run());
    EXPECT_EQ(c.items(), (Items{{4096, 4906}}));
    EXPECT_TRUE(c.engine().carvedItems[0].exact);
    EXPECT_EQ(c.engine().findsOverUnreadable, 0);

    // A find whose bytes include an unreadable sector is no exact find, and is counted.
    c.reader.badSectors = {12};
    ASSERT_TRUE(c.run());
    ASSERT_EQ(c.items(), (Items{{4096, 4906}}));
    EXPECT_FALSE(c.engine().carvedItems[0].exact);
    EXPECT_TRUE(c.engine().carvedItems[0].spansUnreadable);
    EXPECT_EQ(c.engine().findsOverUnreadable, 1);
}

TEST(CarveEngine, StopKeepsWhatWasFoundAndStillReportsDone) {
    struct StoppingSink : RecordingSink {
        WorkerControl* control = nullptr;
        void setProgressPos(int64_t pos) override {
            if (pos == 1) control->requestStop();
        }
    };
    std::vector<uint8_t> m(4 * MiB, 0);
    put(m, 0, {0xA1, 0xA2});
    put(m, 3 * MiB, {0xA1, 0xA2});
    Carving c({record("a", {0xA1, 0xA2}, {}, 10)}, m);
    StoppingSink stopping;
    WorkerControl control;
    stopping.control = &control;
    c.engine().sink = &stopping;
    c.engine().control = &control;
    ASSERT_TRUE(c.run());
    EXPECT_EQ(c.items(), (Items{{0, 10}}));
    EXPECT_EQ(stopping.messages.size(), 1u);
    EXPECT_FALSE(control.stopRequested.load());  // a Stop ends this carving, not the next one
}

TEST(CarveEngine, ACatalogueLoadedTwiceGivesTheSameFinds) {
    std::vector<uint8_t> m(8192, 0);
    put(m, 512, kHead);
    put(m, 3000, kFoot);
    Carving c({record("abc", kHead, kFoot)}, m);
    ASSERT_TRUE(c.loader.loadSignatureFile(c.dir.file("sig.bin")));
    ASSERT_EQ(c.engine().signatures.size(), 2u);
    ASSERT_TRUE(c.run());
    EXPECT_EQ(c.items(), (Items{{512, 2490}}));
    EXPECT_EQ(c.engine().carvedItems[0].signature, 0);
    EXPECT_EQ(c.tree.itemText(c.tree.firstChild(c.tree.rootItem())), "Things (1)");
}

// A carved file reaches disk through the run writer: its bytes with zeros for a bad sector, a
// taken name gets the next number, and a stopped save leaves no file at all.
TEST(CarvedFileSaver, SavesBytesNumbersClashesAndLeavesNothingWhenStopped) {
    std::vector<uint8_t> m(64 * 1024);
    for (size_t i = 0; i < m.size(); ++i) m[i] = uint8_t(i * 13 + 5);
    quarvell::testing::FaultyReader reader(m);
    reader.badSectors = {10};
    TempDir dir;
    const std::string folder = dir.file("out");
    std::filesystem::create_directories(folder);
    CarvedSaveResult first = CarvedFileSaver::save(reader, folder, "4096 .jpg", 4096, 4096);
    ASSERT_TRUE(first.ok) << first.error;
    EXPECT_EQ(first.unreadableBytes, 512);
    const auto bytes = readBytes(first.path);
    ASSERT_EQ(bytes.size(), 4096u);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const bool bad = (4096 + i) / 512 == 10;
        ASSERT_EQ(bytes[i], bad ? 0 : m[4096 + i]) << i;
    }
    CarvedSaveResult second = CarvedFileSaver::save(reader, folder, "4096 .jpg", 4096, 100);
    ASSERT_TRUE(second.ok) << second.error;
    EXPECT_NE(second.path, first.path);
    EXPECT_EQ(readBytes(first.path).size(), 4096u);  // never overwritten

    WorkerControl control;
    control.requestAbort();
    CarvedSaveResult stopped = CarvedFileSaver::save(reader, folder, "0 .png", 0, 8192, control);
    EXPECT_FALSE(stopped.ok);
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 2u);  // no partial file, no temporary file
}
