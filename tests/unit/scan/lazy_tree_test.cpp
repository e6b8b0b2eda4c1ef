#include <gtest/gtest.h>

#include "FakeEntries.h"
#include "controls/MemoryTree.h"
#include "scan/LazyTree.h"
#include "scan/ResultBrowser.h"

using namespace quarvell;
using quarvell::testing::FakeEntries;

namespace {

// ROOT -> docs (a.txt, b.doc, sub (c.txt)), empty, top.txt
struct Volume {
    FakeEntries e;
    MemoryTree tree;
    TreeItem root, docs, empty, topFile;
    Volume() {
        e.add(kNoData, 1, "docs", true);
        e.add(1, 10, "a.txt", false, "aaaa");
        e.add(1, 11, "b.doc", false, "bb");
        e.add(1, 12, "sub", true);
        e.add(12, 13, "c.txt", false, "c");
        e.add(kNoData, 2, "empty", true);
        e.add(kNoData, 3, "top.txt", false, "t");
        root = tree.insertItem("ROOT", kIconFolder, kNoItem);
        docs = tree.insertItem("docs", kIconFolder, root, 1);
        empty = tree.insertItem("empty", kIconFolder, root, 2);
        topFile = tree.insertItem("top.txt", kIconFile, root, 3);
        addPlaceholders(tree, e);
    }
    std::vector<std::string> childTexts(TreeItem item) const {
        std::vector<std::string> out;
        for (TreeItem c = tree.firstChild(item); c != kNoItem; c = tree.nextSibling(c)) out.push_back(tree.itemText(c));
        return out;
    }
};

TEST(LazyTree, PlaceholderOnlyUnderUnopenedFoldersWithChildren) {
    Volume v;
    EXPECT_EQ(v.childTexts(v.docs), std::vector<std::string>{"..DUMY.."});
    EXPECT_TRUE(isPlaceholder(v.tree, v.tree.firstChild(v.docs)));
    EXPECT_TRUE(v.childTexts(v.empty).empty());
    EXPECT_TRUE(v.childTexts(v.topFile).empty());
}

TEST(LazyTree, OpeningReplacesThePlaceholderOnce) {
    Volume v;
    EXPECT_TRUE(expandFolder(v.tree, v.e, v.docs, false));
    EXPECT_EQ(v.childTexts(v.docs), (std::vector<std::string>{"a.txt", "b.doc", "sub"}));
    TreeItem sub = v.tree.nextSibling(v.tree.nextSibling(v.tree.firstChild(v.docs)));
    EXPECT_EQ(v.childTexts(sub), std::vector<std::string>{"..DUMY.."});
    EXPECT_EQ(v.tree.itemData(sub), 12);
    EXPECT_FALSE(expandFolder(v.tree, v.e, v.docs, false));
    EXPECT_EQ(v.childTexts(v.docs).size(), 3u);
}

TEST(LazyTree, DeletedMarksOnlyOnTheLabelClickPath) {
    Volume a, b;
    a.e.entries[10].deleted = true;
    b.e.entries[10].deleted = true;
    expandFolder(a.tree, a.e, a.docs, true);
    expandFolder(b.tree, b.e, b.docs, false);
    EXPECT_EQ(a.tree.textColor(a.tree.firstChild(a.docs)), kColorRed);
    EXPECT_EQ(a.tree.textColor(a.tree.nextSibling(a.tree.firstChild(a.docs))), kColorDefault);
    EXPECT_EQ(b.tree.textColor(b.tree.firstChild(b.docs)), kColorDefault);
}

TEST(LazyTree, LoopingHierarchyEndsWhereAFolderRepeatsOnItsPath) {
    FakeEntries e;
    e.add(kNoData, 1, "a", true);
    e.add(1, 2, "b", true);
    e.entries[2].children.push_back(1);  // b lists a again
    MemoryTree tree;
    TreeItem root = tree.insertItem("ROOT", kIconFolder, kNoItem);
    TreeItem a = tree.insertItem("a", kIconFolder, root, 1);
    EXPECT_TRUE(expandFolder(tree, e, a, false));
    TreeItem b = tree.firstChild(a);
    EXPECT_TRUE(expandFolder(tree, e, b, false));
    TreeItem again = tree.firstChild(b);
    ASSERT_NE(again, kNoItem);
    EXPECT_FALSE(expandFolder(tree, e, again, false));
    EXPECT_EQ(tree.firstChild(again), kNoItem);
}

TEST(ResultBrowser, LabelClickListsOnlyTheFolderFiles) {
    Volume v;
    FileList list;
    ResultBrowser browser(v.tree, v.e, list);
    browser.labelClicked(v.docs);
    ASSERT_EQ(list.rows.size(), 2u);
    EXPECT_EQ(list.rows[0].name, "a.txt");
    EXPECT_EQ(list.rows[1].name, "b.doc");
    EXPECT_EQ(list.rows[0].texts.creation, "ca.txt");
    EXPECT_EQ(list.rows[0].size, "4 Bytes");
    EXPECT_EQ(v.tree.itemText(list.rows[1].item), "b.doc");

    browser.labelClicked(v.empty);  // an empty folder leaves the list as it was
    EXPECT_EQ(list.rows.size(), 2u);
    browser.labelClicked(v.topFile);
    ASSERT_EQ(list.rows.size(), 1u);
    EXPECT_EQ(list.rows[0].item, v.topFile);
}

TEST(ResultBrowser, TickingRowsTicksTheTreeUnlessSearchResultsAreShown) {
    Volume v;
    FileList list;
    ResultBrowser browser(v.tree, v.e, list);
    browser.labelClicked(v.docs);
    TreeItem sub = v.tree.nextSibling(v.tree.nextSibling(v.tree.firstChild(v.docs)));
    v.tree.setCheck(sub, true);
    browser.rowCheckClicked(0, false);
    EXPECT_TRUE(v.tree.getCheck(list.rows[0].item));
    EXPECT_FALSE(v.tree.getCheck(v.docs));
    browser.rowCheckClicked(1, false);
    EXPECT_TRUE(v.tree.getCheck(v.docs));
    browser.rowCheckClicked(1, true);
    EXPECT_FALSE(v.tree.getCheck(list.rows[1].item));

    list.showsSearchResults = true;
    browser.rowCheckClicked(1, false);
    EXPECT_FALSE(v.tree.getCheck(list.rows[1].item));
}

TEST(ResultBrowser, DoubleClickListsNamesOrQuickSavesAFile) {
    Volume v;
    FileList list;
    ResultBrowser browser(v.tree, v.e, list);
    TreeItem saved = kNoItem;
    browser.doubleClicked(v.docs, [&](TreeItem i) { saved = i; });
    ASSERT_EQ(list.rows.size(), 2u);
    EXPECT_TRUE(list.rows[0].texts.creation.empty());
    EXPECT_EQ(saved, kNoItem);
    browser.doubleClicked(v.topFile, [&](TreeItem i) { saved = i; });
    EXPECT_EQ(saved, v.topFile);
}

}  // namespace

namespace {

TEST(LazyTree, HostileDepthIsBounded) {
    FakeEntries e;
    e.add(kNoData, 1, "d", true);
    for (EntryKey k = 2; k <= 2000; ++k) e.add(k - 1, k, "d", true);
    e.add(2000, 5000, "deepest.txt", false, "x");
    MemoryTree tree;
    TreeItem item = tree.insertItem("d", kIconFolder, tree.insertItem("ROOT", kIconFolder, kNoItem), 1);
    size_t depth = 0;
    while (expandFolder(tree, e, item, false)) {
        item = tree.firstChild(item);
        ++depth;
    }
    EXPECT_GE(depth, 500u);
    EXPECT_LT(depth, 1000u);
}

}  // namespace
