// The two loaders: numbering across files, refusals with their messages.
#include "RawTestSupport.h"

using namespace rawtest;

namespace {

std::vector<SignatureFileRecord> someRecords(int n, uint8_t first = 0x10) {
    std::vector<SignatureFileRecord> out;
    for (int i = 0; i < n; ++i) out.push_back(record("x" + std::to_string(i), {uint8_t(first + i), 0xEE, 0xEF}));
    return out;
}

}  // namespace

TEST(SignatureLoader, ChosenFileIsNumberedAfterTheDefaultCatalogue) {
    TempDir dir;
    writeRecords(dir.file("default"), someRecords(30));
    writeRecords(dir.file("mine"), someRecords(5, 0x80));
    RecordingSink sink;
    SignatureLoader loader(&sink);
    loader.loadDefaultSignatures(dir.file("default"));
    EXPECT_EQ(loader.numberingBase(), 30);
    ASSERT_TRUE(loader.loadSignatureFile(dir.file("mine")));
    ASSERT_EQ(loader.engine->matchEntries.size(), 35u);
    for (int i = 0; i < 35; ++i) EXPECT_EQ(loader.engine->matchEntries[size_t(i)].index, i);
    EXPECT_EQ(loader.engine->extensionText(30), "x0");
    EXPECT_EQ(loader.engine->signatures[30].sizeFieldOffset, -1);
    EXPECT_TRUE(sink.messages.empty());
    // The default loader starts a new engine and numbers from 0 again.
    loader.loadDefaultSignatures(dir.file("mine"));
    EXPECT_EQ(loader.numberingBase(), 5);
}

TEST(SignatureLoader, MoreThan256SignaturesAreCountedByLengthAndAllMatch) {
    TempDir dir;
    std::vector<SignatureFileRecord> records;
    for (int i = 0; i < 300; ++i) records.push_back(record("s", {uint8_t(0x80 + i % 100), uint8_t(i / 100), 0xAB}));
    writeRecords(dir.file("big"), records);
    EXPECT_EQ(readBytes(dir.file("big"))[299 * 171 + 33], 299 & 0xFF);  // index byte: low 8 bits
    SignatureLoader loader;
    loader.loadDefaultSignatures(dir.file("big"));
    ASSERT_EQ(loader.numberingBase(), 300);
    ASSERT_TRUE(loader.engine->prepareMatcher());
    const uint8_t at299[10] = {0x80 + 99, 2, 0xAB};
    MatchResult m = loader.engine->matchAt(at299);
    EXPECT_EQ(m.kind, 'S');
    EXPECT_EQ(m.number, 299);
}

TEST(SignatureLoader, ShortAndRaggedFilesAreNotValid) {
    TempDir dir;
    auto whole = readBytes((writeRecords(dir.file("two"), someRecords(2)), dir.file("two")));
    for (size_t size : {size_t(0), size_t(1), size_t(100), size_t(170), size_t(172), size_t(341)}) {
        std::vector<uint8_t> bytes(size, 0);
        std::copy_n(whole.begin(), std::min(size, whole.size()), bytes.begin());
        writeBytes(dir.file("f"), bytes);
        RecordingSink sink;
        SignatureLoader loader(&sink);
        EXPECT_FALSE(loader.loadSignatureFile(dir.file("f"))) << size;
        ASSERT_EQ(sink.messages, std::vector<std::string>{"not a valid file.."}) << size;
        EXPECT_EQ(loader.numberingBase(), 0);
        loader.loadDefaultSignatures(dir.file("f"));
        EXPECT_EQ(loader.numberingBase(), 0) << size;
    }
}

TEST(SignatureLoader, RecordsTheEngineCannotUseMakeTheFileInvalid) {
    TempDir dir;
    auto variants = std::vector<std::function<void(SignatureFileRecord&)>>{
        [](SignatureFileRecord& r) { r.headerLength = 0; },
        [](SignatureFileRecord& r) { r.headerLength = 11; },
        [](SignatureFileRecord& r) { r.footerLength = 200; },
        [](SignatureFileRecord& r) { r.sizeFieldByteCount = 9; },
    };
    for (size_t v = 0; v < variants.size(); ++v) {
        auto records = someRecords(3);
        variants[v](records[1]);  // not only the last record is checked
        writeRecords(dir.file("bad"), records);
        RecordingSink sink;
        SignatureLoader loader(&sink);
        EXPECT_FALSE(loader.loadSignatureFile(dir.file("bad"))) << v;
        EXPECT_EQ(sink.messages, std::vector<std::string>{"not a valid file.."}) << v;
        EXPECT_EQ(loader.numberingBase(), 0) << v;
    }
}

TEST(SignatureLoader, MissingFiles) {
    RecordingSink sink;
    SignatureLoader loader(&sink);
    loader.loadDefaultSignatures("/nonexistent/FileSetting.txt");
    EXPECT_TRUE(sink.messages.empty());  // the default catalogue's absence is silent
    EXPECT_FALSE(loader.loadSignatureFile("/nonexistent/mine.txt"));
    EXPECT_EQ(sink.messages, std::vector<std::string>{"can not open file"});
    EXPECT_FALSE(loader.loadSignatureFile(""));
    EXPECT_EQ(sink.messages.size(), 1u);
}

TEST(SignatureLoader, SizeFieldOffsetTakenOnlyWhenPositive) {
    TempDir dir;
    auto records = someRecords(3);
    records[0].sizeFieldOffset = 0;
    records[1].sizeFieldOffset = 8;
    records[2].sizeFieldOffset = -7;
    writeRecords(dir.file("f"), records);
    SignatureLoader loader;
    loader.loadDefaultSignatures(dir.file("f"));
    EXPECT_EQ(loader.engine->signatures[0].sizeFieldOffset, -1);
    EXPECT_EQ(loader.engine->signatures[1].sizeFieldOffset, 8);
    EXPECT_EQ(loader.engine->signatures[2].sizeFieldOffset, -1);
}
