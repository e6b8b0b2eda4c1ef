#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "FakeEntries.h"
#include "controls/MemoryTree.h"
#include "scan/FileSearch.h"
#include "scan/LazyTree.h"

using namespace quarvell;
using quarvell::testing::FakeEntries;
using quarvell::testing::RecordingSink;

namespace {

// ROOT -> pics (Holiday.JPG, deep (x.png, mydoc.txt)), notes.txt
struct Volume {
    FakeEntries e;
    MemoryTree tree;
    RecordingSink sink;
    WorkerControl control;
    Volume() {
        e.add(kNoData, 1, "pics", true);
        e.add(1, 10, "Holiday.JPG", false, "j");
        e.add(1, 11, " deep ", true);
        e.add(11, 12, "x.png", false, "p");
        e.add(11, 13, "mydoc.txt", false, "d");
        e.add(kNoData, 2, "notes.txt", false, "n");
        TreeItem root = tree.insertItem("ROOT", kIconFolder, kNoItem);
        tree.insertItem("pics", kIconFolder, root, 1);
        tree.insertItem("notes.txt", kIconFile, root, 2);
        addPlaceholders(tree, e);
    }
    std::vector<std::string> search(const std::string& pattern, FileSearch::Outcome* outcome = nullptr) {
        std::vector<std::string> paths;
        FileSearch s(tree, e, sink, control);
        auto o = s.run(pattern, [&](const SearchRow& r) { paths.push_back(r.displayPath()); });
        if (outcome) *outcome = o;
        return paths;
    }
};

TEST(FileSearch, AlternativesMatchInAnyCaseInFoldersNeverOpened) {
    Volume v;
    EXPECT_EQ(v.search("jpg|png"), (std::vector<std::string>{"ROOT\\pics\\Holiday.JPG", "ROOT\\pics\\deep\\x.png"}));
    EXPECT_EQ(v.sink.messages.back(), "Searching Finished");
    EXPECT_EQ(v.sink.statuses.back(), "Searching Finished");
    EXPECT_NE(std::find(v.sink.statuses.begin(), v.sink.statuses.end(), "searched file 2"), v.sink.statuses.end());
    EXPECT_EQ(v.search("doc"), std::vector<std::string>{"ROOT\\pics\\deep\\mydoc.txt"});
    EXPECT_EQ(v.search("^notes"), std::vector<std::string>{"ROOT\\notes.txt"});
}

TEST(FileSearch, RowsCarryTheEntryAndItsTexts) {
    Volume v;
    std::vector<SearchRow> rows;
    FileSearch s(v.tree, v.e, v.sink, v.control);
    s.run("x\\.png", [&](const SearchRow& r) { rows.push_back(r); });
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].entry, 12);
    EXPECT_EQ(rows[0].texts.creation, "cx.png");
    EXPECT_EQ(rows[0].size, "1 Bytes");
    EXPECT_EQ(rows[0].path, (std::vector<std::string>{"ROOT", "pics", "deep", "x.png"}));
}

TEST(FileSearch, InvalidPatternIsReportedWithoutFinishing) {
    Volume v;
    FileSearch::Outcome o;
    v.control.requestStop();
    EXPECT_TRUE(v.search("*.jpg", &o).empty());
    EXPECT_EQ(o, FileSearch::Outcome::InvalidPattern);
    EXPECT_EQ(v.sink.messages, std::vector<std::string>{kInvalidPatternText});
    EXPECT_TRUE(v.control.stopRequested.load());
    EXPECT_FALSE(FileSearch::compile("(").has_value());
}

TEST(FileSearch, EmptyPatternFindsNothingAndStopIsClearedAtTheEnd) {
    Volume v;
    v.control.requestStop();
    EXPECT_TRUE(v.search("").empty());
    EXPECT_EQ(v.sink.messages.back(), "Searching Finished");
    EXPECT_FALSE(v.control.stopRequested.load());
    v.control.requestStop();
    EXPECT_TRUE(v.search("txt").empty());  // a stopped search lists nothing, yet finishes
    EXPECT_FALSE(v.control.stopRequested.load());
}

TEST(FileSearch, CatastrophicPatternEndsInBoundedTimeAndIsCounted) {
    Volume v;
    const std::string name = std::string(254, 'a') + "b";
    v.e.add(kNoData, 3, name, false, "a");
    v.tree.insertItem(name, kIconFile, v.tree.rootItem(), 3);
    const auto started = std::chrono::steady_clock::now();
    FileSearch s(v.tree, v.e, v.sink, v.control);
    std::vector<std::string> paths;
    s.run("^(a|aa)+$", [&](const SearchRow& r) { paths.push_back(r.displayPath()); });
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_TRUE(paths.empty());
    EXPECT_EQ(s.tooComplex(), 1u);
    EXPECT_NE(std::find_if(v.sink.statuses.begin(), v.sink.statuses.end(),
                           [](const std::string& t) { return t.rfind("1 names could not be matched", 0) == 0; }),
              v.sink.statuses.end());
    // What users type still works: back-references, and names outside ASCII in any case.
    EXPECT_EQ(v.search("(.)\\1"), std::vector<std::string>{"ROOT\\" + name});
    v.e.add(kNoData, 4, "Ölbild.JPG", false, "o");
    v.tree.insertItem("Ölbild.JPG", kIconFile, v.tree.rootItem(), 4);
    EXPECT_EQ(v.search("ölbild"), std::vector<std::string>{"ROOT\\Ölbild.JPG"});
}

}  // namespace
