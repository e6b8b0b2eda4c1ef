// The editor's appending rules and messages.
#include <filesystem>
#include <fstream>

#include "RawTestSupport.h"
#include "raw/SignatureEditor.h"

using namespace rawtest;

namespace {

struct Editing {
    TempDir dir;
    RecordingSink sink;
    SignatureEditor editor{&sink};
    std::string path = dir.file("sig.txt");
    Editing() {
        EXPECT_TRUE(editor.chooseFile(path));
        EXPECT_TRUE(editor.isOpen());
        EXPECT_EQ(editor.path(), path);
    }
    SignatureFileRecord recordAt(size_t k) { return SignatureFileRecord::fromBytes(readBytes(path).data() + k * 171); }
};

SignatureForm pngForm() {
    SignatureForm f;
    f.extension = "png";
    f.header = "0x89,0x50,0x4E,0x47";
    f.footer = "49,45,4E,44,AE,42,60,82";
    f.category = "Pictures";
    return f;
}

}  // namespace

TEST(SignatureEditor, AppendsARecordWithTheEnteredFields) {
    Editing e;
    SignatureForm f = pngForm();
    f.sizeFieldOffset = 0;
    f.headerSize = 12;
    f.sizeIncludesHeader = true;
    f.skipAmount = 2097152;
    f.approximateSize = 5000000;
    ASSERT_TRUE(e.editor.appendRecord(f));
    EXPECT_EQ(e.sink.messages, std::vector<std::string>{"everything initialized well....."});
    ASSERT_EQ(readBytes(e.path).size(), 171u);
    SignatureFileRecord r = e.recordAt(0);
    EXPECT_EQ(r.index, 0);
    EXPECT_EQ(r.headerLength, 4);
    EXPECT_EQ(std::vector<uint8_t>(r.header.begin(), r.header.begin() + 4), (std::vector<uint8_t>{0x89, 0x50, 0x4E, 0x47}));
    EXPECT_EQ(r.footerLength, 8);
    EXPECT_EQ(r.footer[7], 0x82);
    EXPECT_EQ(r.sizeFieldOffset, -1);  // an offset of 0 stores none
    EXPECT_EQ(r.headerSize, 12u);
    EXPECT_EQ(r.sizeIncludesHeader, 1);
    EXPECT_EQ(r.skipAmount, 2097152);
    EXPECT_EQ(r.approximateSize, 5000000);
    EXPECT_EQ(r.categoryText(), "Pictures");
}

TEST(SignatureEditor, EmptyPiecesAreSkippedAndBadPiecesRefused) {
    std::string bad;
    auto two = SignatureEditor::parseSignatureBytes(",,0x89,, 50", &bad);
    ASSERT_TRUE(two);
    EXPECT_EQ(*two, (std::vector<uint8_t>{0x89, 0x50}));
    EXPECT_FALSE(SignatureEditor::parseSignatureBytes("0x89,0x1FF", &bad));
    EXPECT_EQ(bad, "0x1FF");
    EXPECT_FALSE(SignatureEditor::parseSignatureBytes("89,zz", &bad));
    EXPECT_EQ(bad, "zz");
    EXPECT_FALSE(SignatureEditor::parseSignatureBytes("0x", &bad));
}

TEST(SignatureEditor, RefusalsWriteNothing) {
    Editing e;
    SignatureForm noExt = pngForm();
    noExt.extension.clear();
    SignatureForm noHeader = pngForm();
    noHeader.header = " , ,";
    SignatureForm longHeader = pngForm();
    longHeader.header = "1,2,3,4,5,6,7,8,9,A,B";
    SignatureForm manySizeBytes = pngForm();
    manySizeBytes.sizeFieldByteCount = 9;
    SignatureForm negative = pngForm();
    negative.approximateSize = -1;
    for (const auto& f : {noExt, noHeader, longHeader, manySizeBytes, negative}) EXPECT_FALSE(e.editor.appendRecord(f));
    EXPECT_EQ(e.sink.messages, (std::vector<std::string>{"extention length is zero..", "signature length is zero..",
                                                         "signature is longer than 10 bytes..",
                                                         "number of bytes in size must be at most 8..",
                                                         "sizes and offsets are whole numbers from 0.."}));
    EXPECT_TRUE(readBytes(e.path).empty());
}

TEST(SignatureEditor, ChoosingAnExistingFileAppendsAndNeverEmptiesIt) {
    Editing e;
    ASSERT_TRUE(e.editor.appendRecord(pngForm()));
    ASSERT_TRUE(e.editor.appendRecord(pngForm()));
    SignatureEditor again;
    ASSERT_TRUE(again.chooseFile(e.path));
    SignatureForm five = pngForm();
    five.extension = "abcde";
    ASSERT_TRUE(again.appendRecord(five));
    ASSERT_EQ(readBytes(e.path).size(), 3 * 171u);
    EXPECT_EQ(e.recordAt(0).extensionText(), "png");
    SignatureFileRecord third = e.recordAt(2);
    EXPECT_EQ(third.index, 2);
    EXPECT_EQ(third.extensionText(), "abcd");
    EXPECT_EQ(third.extensionLength, 5);
}

TEST(SignatureEditor, NoFileOrARaggedFile) {
    RecordingSink sink;
    SignatureEditor editor(&sink);
    EXPECT_FALSE(editor.appendRecord(pngForm()));  // nothing chosen: nothing happens
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_FALSE(editor.chooseFile("/nonexistent/dir/sig.txt"));
    EXPECT_EQ(sink.messages, std::vector<std::string>{"file can not be created"});
    EXPECT_FALSE(editor.isOpen());
    TempDir dir;
    writeBytes(dir.file("ragged"), std::vector<uint8_t>(100, 1));
    ASSERT_TRUE(editor.chooseFile(dir.file("ragged")));
    EXPECT_FALSE(editor.appendRecord(pngForm()));
    EXPECT_EQ(sink.messages.back(), "not a valid file..");
    EXPECT_EQ(readBytes(dir.file("ragged")).size(), 100u);
}

// The editor chose a new file, but the form was refused: the empty file can go again. A file
// that existed before stays, even empty.
TEST(SignatureEditor, ANewFileLeftEmptyByARefusedAppendIsRemoved) {
    TempDir dir;
    RecordingSink sink;
    const std::string path = dir.file("fresh.txt");
    {
        SignatureEditor editor(&sink);
        ASSERT_TRUE(editor.chooseFile(path));
        SignatureForm f = pngForm();
        f.extension.clear();
        EXPECT_FALSE(editor.appendRecord(f));
        EXPECT_TRUE(editor.isOpen());  // the page's user may correct the form and try again
        editor.discardIfCreatedAndEmpty();
        EXPECT_FALSE(std::filesystem::exists(path));
        EXPECT_FALSE(editor.isOpen());
    }
    std::ofstream(dir.file("kept.txt")).close();
    SignatureEditor editor(&sink);
    ASSERT_TRUE(editor.chooseFile(dir.file("kept.txt")));
    SignatureForm f = pngForm();
    f.header.clear();
    EXPECT_FALSE(editor.appendRecord(f));
    editor.discardIfCreatedAndEmpty();
    EXPECT_TRUE(std::filesystem::exists(dir.file("kept.txt")));
    EXPECT_EQ(SignatureEditor::formProblem(f), "signature length is zero..");
    EXPECT_EQ(SignatureEditor::formProblem(pngForm()), "");
}
