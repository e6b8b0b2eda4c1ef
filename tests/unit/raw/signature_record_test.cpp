// The settings-file record, byte by byte in both directions.
#include "RawTestSupport.h"

using namespace rawtest;

TEST(SignatureRecord, FreshRecordIsZeroWithIndexFFAndNoSizeField) {
    auto b = SignatureFileRecord{}.toBytes();
    ASSERT_EQ(b.size(), 171u);
    for (size_t i = 0; i < b.size(); ++i) {
        uint8_t want = (i == 33 || (i >= 34 && i < 38)) ? 0xFF : 0;
        EXPECT_EQ(b[i], want) << "byte " << i;
    }
}

TEST(SignatureRecord, WrittenFieldsLandAtTheirOffsets) {
    SignatureFileRecord r = record("png", {0x89, 0x50, 0x4E, 0x47}, {0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82},
                                   0x0102030405060708, "Pictures");
    r.index = 7;
    r.sizeFieldOffset = 0x11223344;
    r.sizeFieldByteCount = 4;
    r.headerSize = 0x55667788;
    r.sizeIncludesHeader = 1;
    r.skipAmount = -2;
    auto b = r.toBytes();
    const uint8_t ext[10] = {'p', 0, 'n', 0, 'g', 0, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(b.data(), ext, 10));
    EXPECT_EQ(b[10], 3);
    const uint8_t head[10] = {0x89, 0x50, 0x4E, 0x47};
    EXPECT_EQ(0, std::memcmp(b.data() + 11, head, 10));
    const uint8_t foot[10] = {0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
    EXPECT_EQ(0, std::memcmp(b.data() + 21, foot, 10));
    EXPECT_EQ(b[31], 4);
    EXPECT_EQ(b[32], 8);
    EXPECT_EQ(b[33], 7);
    const uint8_t numbers[] = {0x44, 0x33, 0x22, 0x11, 4, 0, 0, 0, 0x88, 0x77, 0x66, 0x55, 1, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(b.data() + 34, numbers, sizeof numbers));
    const uint8_t approx[8] = {8, 7, 6, 5, 4, 3, 2, 1};
    EXPECT_EQ(0, std::memcmp(b.data() + 51, approx, 8));
    for (int i = 59; i < 67; ++i) EXPECT_EQ(b[size_t(i)], i == 59 ? 0xFE : 0xFF);
    const char* cat = "Pictures";
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(b[size_t(67 + 2 * i)], uint8_t(cat[i]));
        EXPECT_EQ(b[size_t(68 + 2 * i)], 0);
    }
    for (size_t i = 67 + 16; i < 171; ++i) EXPECT_EQ(b[i], 0) << "byte " << i;
}

TEST(SignatureRecord, HandMadeRecordReadsBackAndRoundTripsExactly) {
    std::array<uint8_t, 171> b{};
    b[0] = 'm'; b[2] = 'p'; b[4] = '3';
    b[10] = 3;
    b[11] = 0x49; b[12] = 0x44; b[13] = 0x33;
    b[31] = 3;
    b[33] = 0x2C;
    b[34] = 0x06; b[35] = 0x00; b[36] = 0x00; b[37] = 0x00;
    b[38] = 4;
    b[42] = 10;
    b[46] = 1;
    b[47] = 0xAB;                       // reserved bytes are kept as they are
    b[51] = 0x00; b[52] = 0x00; b[53] = 0xA0;  // 10 MiB
    b[59] = 0x00; b[60] = 0x00; b[61] = 0x20;  // 2 MiB
    b[67] = 'A'; b[69] = 'u'; b[71] = 'd'; b[73] = 'i'; b[75] = 'o';
    b[170] = 0x5A;
    SignatureFileRecord r = SignatureFileRecord::fromBytes(b.data());
    EXPECT_EQ(r.extensionText(), "mp3");
    EXPECT_EQ(r.extensionLength, 3);
    EXPECT_EQ(r.headerLength, 3);
    EXPECT_EQ(r.header[2], 0x33);
    EXPECT_EQ(r.index, 0x2C);
    EXPECT_EQ(r.sizeFieldOffset, 6);
    EXPECT_EQ(r.sizeFieldByteCount, 4u);
    EXPECT_EQ(r.headerSize, 10u);
    EXPECT_EQ(r.sizeIncludesHeader, 1);
    EXPECT_EQ(r.reserved, 0xABu);
    EXPECT_EQ(r.approximateSize, 10 * 1048576);
    EXPECT_EQ(r.skipAmount, 2 * 1048576);
    EXPECT_EQ(r.categoryText(), "Audio");
    EXPECT_EQ(r.toBytes(), b);
}

TEST(SignatureRecord, ExtensionKeepsFourCharactersAndTheTypedLength) {
    SignatureFileRecord r;
    r.setExtension("jpeg");
    EXPECT_EQ(r.extensionText(), "jpeg");
    EXPECT_EQ(r.extensionLength, 4);
    r.setExtension("tiffs");
    EXPECT_EQ(r.extensionText(), "tiff");
    EXPECT_EQ(r.extensionLength, 5);
    EXPECT_EQ(r.toBytes()[8], 0);  // the fifth unit stays the terminating zero
}

TEST(SignatureRecord, CategoryIsCutAt49Characters) {
    SignatureFileRecord r;
    r.setCategory(std::string(60, 'c'));
    EXPECT_EQ(r.categoryText(), std::string(49, 'c'));
    auto b = r.toBytes();
    EXPECT_EQ(b[67 + 98], 0);
    EXPECT_EQ(b[67 + 99], 0);
    r.setCategory("Bilder \xC3\xBC");  // non-ASCII text survives as UTF-16
    EXPECT_EQ(r.categoryText(), "Bilder \xC3\xBC");
}
