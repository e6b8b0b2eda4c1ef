#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "FakeEntries.h"
#include "TempFolder.h"
#include "controls/MemoryTree.h"
#include "scan/LazyTree.h"
#include "fs/OutputPath.h"
#include "scan/SaveWalk.h"

using namespace quarvell;
using quarvell::testing::FakeEntries;
using quarvell::testing::RecordingSink;
using quarvell::testing::TempFolder;
namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool contains(const std::vector<std::string>& v, const std::string& text) {
    return std::find(v.begin(), v.end(), text) != v.end();
}

// ROOT -> top (big.bin of 2500 bytes, "sub  " (n.txt), empty)
struct Volume {
    FakeEntries e;
    MemoryTree tree;
    RecordingSink sink;
    WorkerControl control;
    TreeItem root, top;
    Volume() {
        e.add(kNoData, 1, "top", true);
        e.add(1, 10, "big.bin", false, std::string(2500, 'x'));
        e.add(1, 11, "sub  ", true);
        e.add(11, 12, "n.txt", false, "note");
        e.add(1, 13, "empty", true);
        root = tree.insertItem("ROOT", kIconFolder, kNoItem);
        top = tree.insertItem("top", kIconFolder, root, 1);
    }
    SaveWalk walk() { return SaveWalk(tree, e, sink, control); }
};

TEST(SaveWalk, SavesTheFolderChildrenWithTheTextsOfEachStep) {
    Volume v;
    TempFolder out;
    SaveTotals t = v.walk().saveSelection(v.top, out.str());
    EXPECT_TRUE(t.ran);
    EXPECT_EQ(t.filesSaved, 2u);
    EXPECT_EQ(v.sink.messages.front(),
              "number of files found inside this folder = 2 .do u want to continue dumping these files..?");
    EXPECT_EQ(v.sink.messages.back(), "work done");
    EXPECT_TRUE(contains(v.sink.statuses, "saving File  " + out.str() + "/big.bin"));
    EXPECT_TRUE(contains(v.sink.details, "File size: 2 kb"));
    EXPECT_EQ(v.sink.details.back(), "");
    EXPECT_EQ(v.sink.rangeHigh, 2);
    EXPECT_EQ(v.sink.position, 2);
    EXPECT_EQ(slurp(out.path() / "big.bin"), std::string(2500, 'x'));
    EXPECT_EQ(slurp(out.path() / "sub" / "n.txt"), "note");  // trailing blanks of folder names go
    EXPECT_TRUE(fs::is_directory(out.path() / "empty"));
    EXPECT_FALSE(fs::exists(out.path() / "top"));
}

TEST(SaveWalk, NothingHappensWithoutFolderOrWhenAnsweredNo) {
    Volume v;
    TempFolder out;
    EXPECT_FALSE(v.walk().saveSelection(v.top, "").ran);
    EXPECT_EQ(v.sink.messages, std::vector<std::string>{"select output folder"});

    TreeItem file = v.tree.insertItem("f", kIconFile, v.root, 10);
    v.sink.messages.clear();
    EXPECT_FALSE(v.walk().saveSelection(file, out.str()).ran);
    EXPECT_TRUE(v.sink.messages.empty());

    v.sink.answer = MsgResult::No;
    EXPECT_FALSE(v.walk().saveSelection(v.top, out.str()).ran);
    EXPECT_TRUE(fs::is_empty(out.path()));
}

TEST(SaveWalk, AnEarlierStopDoesNotEmptyTheNextSave) {
    Volume v;
    TempFolder out;
    v.control.requestStop();
    EXPECT_EQ(v.walk().saveSelection(v.top, out.str()).filesSaved, 2u);
    EXPECT_FALSE(v.control.stopRequested.load());
}

TEST(SaveWalk, UntrustedNamesStayInsideTheOutputFolderAndClashesAreKept) {
    Volume v;
    v.e.add(1, 20, "../escape.txt", false, "1");
    v.e.add(1, 21, "..", true);
    v.e.add(21, 22, "inner", false, "2");
    v.e.add(1, 23, "big.bin", false, "second");
    v.e.add(1, 24, "", false, "3");
    v.e.add(1, 25, std::string("ctl\x01name"), false, "4");
    TempFolder parent;
    const fs::path out = parent.path() / "out";
    fs::create_directory(out);
    SaveTotals t = v.walk().saveSelection(v.top, out.string());
    EXPECT_EQ(t.filesSaved, 7u);
    EXPECT_EQ(t.filesFailed, 0u);
    EXPECT_EQ(std::distance(fs::directory_iterator(parent.path()), fs::directory_iterator()), 1);
    EXPECT_EQ(slurp(out / ".._escape.txt"), "1");
    EXPECT_EQ(slurp(out / "_.." / "inner"), "2");
    EXPECT_EQ(slurp(out / "big.bin"), std::string(2500, 'x'));
    EXPECT_EQ(slurp(out / "big (1).bin"), "second");
    EXPECT_EQ(slurp(out / "_"), "3");
    EXPECT_EQ(slurp(out / "ctl\u2401name"), "4");  // the control picture of 0x01
}

TEST(SaveWalk, FailedSavesAreCountedAndReported) {
    Volume v;
    v.e.failSaves = true;
    TempFolder out;
    SaveTotals t = v.walk().saveSelection(v.top, out.str());
    EXPECT_EQ(t.filesSaved, 0u);
    EXPECT_EQ(t.filesFailed, 2u);
    EXPECT_TRUE(contains(v.sink.statuses, "could not save " + out.str() + "/big.bin: refused"));
    EXPECT_TRUE(contains(v.sink.statuses, "2 files could not be saved"));
}

TEST(SaveWalk, EntriesOutsideTheWalkAreNeitherSavedNorCounted) {
    Volume v;
    v.e.entries[10].walked = false;
    TempFolder out;
    EXPECT_EQ(v.walk().saveSelection(v.top, out.str()).filesSaved, 1u);
    EXPECT_FALSE(fs::exists(out.path() / "big.bin"));
}

TEST(SaveWalk, QuickSaveReportsThePathOrAsksForAFolder) {
    Volume v;
    TempFolder out;
    TreeItem file = v.tree.insertItem("n.txt", kIconFile, v.root, 12);
    EXPECT_EQ(v.walk().quickSave(file, out.str()).filesSaved, 1u);
    EXPECT_EQ(v.sink.messages.back(), "file is dumped in path  :  " + out.str() + "/n.txt   ");

    int asked = 0;
    EXPECT_FALSE(v.walk().quickSave(file, "", [&] { ++asked; return std::string(); }).ran);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(v.walk().quickSave(file, "", [&] { return out.str(); }).filesSaved, 1u);
    EXPECT_EQ(slurp(out.path() / "n (1).txt"), "note");
}

TEST(OutputPath, SafeComponents) {
    EXPECT_EQ(safeComponent("a/b\\c"), "a_b_c");
    EXPECT_EQ(safeComponent("."), "_.");
    EXPECT_EQ(safeComponent(""), "_");
    EXPECT_EQ(safeComponent(std::string("a\0b\x1f\x7f", 5)), "a\u2400b\u241f\u2421");  // control pictures
    std::string longName;
    for (int i = 0; i < 200; ++i) longName += "\xC3\xA9";  // 400 bytes of two-byte characters
    std::string cut = safeComponent(longName);
    EXPECT_EQ(cut.size(), 254u);
}

}  // namespace
