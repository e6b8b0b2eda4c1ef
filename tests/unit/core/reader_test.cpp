#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "app/core/CTessmorApp.h"
#include "common/UiSink.h"
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
