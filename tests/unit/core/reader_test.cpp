#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "app/core/CTessmorApp.h"
#include "common/UiSink.h"
#include "LoopDevice.h"
#include "disk/FileReadSeek.h"

using namespace quarvell;

namespace {

struct RecordingSink : NullSink {
    std::vector<std::string> messages;
    MsgResult messageBox(const std::string& t, const std::string&, MsgIcon, MsgButtons) override {
        messages.push_back(t);
        return MsgResult::Ok;
    }
};

std::string writeImage(size_t size) {
    auto path = std::filesystem::temp_directory_path() / ("reader_test_" + std::to_string(::getpid()) + ".img");
    std::ofstream out(path, std::ios::binary);
    for (size_t i = 0; i < size; ++i) out.put(char(i * 7 + 1));
    return path.string();
}

}  // namespace

TEST(FileReadSeek, ImageSizeAndSectorCount) {
    std::string path = writeImage(1048576);
    CTessmorApp app;
    ASSERT_TRUE(app.openReader(path));
    EXPECT_EQ(app.reader->mediumLength, 1048576u);
    EXPECT_EQ(app.driveSectorCount, 2048);
    std::remove(path.c_str());
}

TEST(FileReadSeek, SeekAddsVolumeOriginAndReadsContinue) {
    std::string path = writeImage(3 * 1048576);
    FileReadSeek r;
    ASSERT_TRUE(r.open(path));
    r.volumeOrigin = 2048 * 512;
    ASSERT_TRUE(r.seek(0));
    uint8_t a[512], b[512];
    ASSERT_TRUE(r.read(a, 512));
    ASSERT_TRUE(r.read(b, 512));  // continues where the last read stopped
    EXPECT_EQ(a[0], uint8_t(1048576 * 7 + 1));
    EXPECT_EQ(b[0], uint8_t((1048576 + 512) * 7 + 1));
    std::remove(path.c_str());
}

TEST(FileReadSeek, ShortReadZeroFillsAndReadPastEndLeavesBufferAlone) {
    std::string path = writeImage(4096);
    FileReadSeek r;
    ASSERT_TRUE(r.open(path));
    std::vector<uint8_t> buf(512, 0xAB);
    ASSERT_TRUE(r.seek(4096 - 256));
    EXPECT_FALSE(r.read(buf.data(), 512));
    EXPECT_EQ(buf[0], uint8_t((4096 - 256) * 7 + 1));
    EXPECT_EQ(buf[255], uint8_t((4096 - 1) * 7 + 1));
    for (size_t i = 256; i < 512; ++i) ASSERT_EQ(buf[i], 0) << i;

    std::fill(buf.begin(), buf.end(), 0xCD);
    ASSERT_TRUE(r.seek(4096));
    EXPECT_FALSE(r.read(buf.data(), 512));
    for (uint8_t v : buf) ASSERT_EQ(v, 0xCD);
    std::remove(path.c_str());
}

TEST(FileReadSeek, MissingPathAndDirectoryAreRefused) {
    RecordingSink sink;
    FileReadSeek r;
    EXPECT_FALSE(r.open("/nonexistent/quarvell/image.img", &sink));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0], "invalid handle ...");
    EXPECT_FALSE(r.open(std::filesystem::temp_directory_path().string()));
    EXPECT_EQ(r.lastError(), "is a directory");
    uint8_t b[16];
    EXPECT_FALSE(r.read(b, 16));
}

TEST(FileReadSeek, NegativeAbsolutePositionIsRefused) {
    std::string path = writeImage(1024);
    FileReadSeek r;
    ASSERT_TRUE(r.open(path));
    EXPECT_FALSE(r.seek(-1));
    r.volumeOrigin = 512;
    EXPECT_TRUE(r.seek(-512));
    std::remove(path.c_str());
}

// On a block device the re-read after a failure goes around the page cache: an uncached,
// aligned read that still gives exactly the bytes asked for, at any offset and length, and
// stops short at the device's end like a plain read.
TEST(FileReadSeek, BlockDeviceRereadsGoThroughTheUncachedDescriptor) {
    const std::string path = writeImage(1048576);
    quarvell::testing::LoopDevice loop(path);
    if (!loop.ok()) {
        std::remove(path.c_str());
        GTEST_SKIP() << loop.skipReason();
    }
    FileReadSeek r;
    ASSERT_TRUE(r.open(loop.path()));
    EXPECT_TRUE(r.isBlockDevice());
    EXPECT_EQ(r.mediumLength, 1048576u);
    r.volumeOrigin = 512;
    std::vector<uint8_t> buf(5000, 0xEE);
    ASSERT_TRUE(r.reread(777 - 512, buf.data(), uint32_t(buf.size())));
    for (size_t i = 0; i < buf.size(); ++i) ASSERT_EQ(buf[i], uint8_t((777 + i) * 7 + 1)) << i;
    EXPECT_GT(r.directReads(), 0u);

    // A range larger than one aligned piece, and one running past the end.
    std::vector<uint8_t> big(1048576 - 4096, 0xEE);
    ASSERT_TRUE(r.reread(100, big.data(), uint32_t(big.size())));
    EXPECT_EQ(big.back(), uint8_t((612 + big.size() - 1) * 7 + 1));
    std::vector<uint8_t> tail(1024, 0xEE);
    EXPECT_FALSE(r.reread(1048576 - 512 - 256, tail.data(), 1024));
    EXPECT_EQ(tail[255], uint8_t((1048576 - 1) * 7 + 1));
    EXPECT_EQ(tail[256], 0);
    std::remove(path.c_str());
}

TEST(FileReadSeek, ImageFileRereadsReadAsPlainReads) {
    const std::string path = writeImage(8192);
    FileReadSeek r;
    ASSERT_TRUE(r.open(path));
    EXPECT_FALSE(r.isBlockDevice());
    std::vector<uint8_t> buf(1000);
    ASSERT_TRUE(r.reread(3, buf.data(), 1000));
    EXPECT_EQ(buf[0], uint8_t(3 * 7 + 1));
    EXPECT_EQ(r.directReads(), 0u);
    std::remove(path.c_str());
}
