#include <gtest/gtest.h>

#include <vector>

#include "controls/MemoryTree.h"

using namespace quarvell;

namespace {

struct Folder {
    MemoryTree tree;
    TreeItem root, folder, a, b, c;
    Folder() {
        root = tree.insertItem("ROOT", kIconFolder, kNoItem);
        folder = tree.insertItem("docs", kIconFolder, root);
        a = tree.insertItem("a.txt", kIconFile, folder, 10);
        b = tree.insertItem("b.txt", kIconFile, folder, 11);
        c = tree.insertItem("c.txt", kIconFile, folder, 12);
    }
};

}  // namespace

TEST(CheckModel, TickingAFolderTicksItsFilesAndUntickingOneMakesItPartly) {
    Folder f;
    f.tree.setCheck(f.folder, true);
    for (TreeItem i : {f.a, f.b, f.c}) {
        EXPECT_TRUE(f.tree.getCheck(i));
        EXPECT_EQ(f.tree.stateImage(i), kStateTicked);
    }
    EXPECT_TRUE(f.tree.getCheck(f.folder));
    EXPECT_TRUE(f.tree.getCheck(f.root));

    f.tree.setCheck(f.b, false);
    EXPECT_EQ(f.tree.stateImage(f.folder), kStatePartly);
    EXPECT_FALSE(f.tree.getCheck(f.folder));
    EXPECT_EQ(f.tree.stateImage(f.root), kStatePartly);
    EXPECT_EQ(f.tree.record(f.folder)->checkedDescendants, 2);
    EXPECT_EQ(f.tree.record(f.root)->checkedDescendants, 2);
}

TEST(CheckModel, TickingTheLastFileClimbsToEveryAncestor) {
    Folder f;
    f.tree.setCheck(f.a, true);
    f.tree.setCheck(f.b, true);
    EXPECT_EQ(f.tree.stateImage(f.folder), kStatePartly);
    EXPECT_EQ(f.tree.stateImage(f.root), kStatePartly);
    f.tree.setCheck(f.c, true);
    EXPECT_EQ(f.tree.stateImage(f.folder), kStateTicked);
    EXPECT_EQ(f.tree.stateImage(f.root), kStateTicked);
    EXPECT_EQ(f.tree.record(f.root)->checkedDescendants, 4);  // three files and the folder itself
}

TEST(CheckModel, InsertingAndDeletingChildrenUpdatesTheFolder) {
    Folder f;
    f.tree.setCheck(f.folder, true);
    TreeItem d = f.tree.insertItem("d.txt", kIconFile, f.folder);
    EXPECT_EQ(f.tree.stateImage(f.folder), kStatePartly);
    EXPECT_EQ(f.tree.stateImage(f.root), kStatePartly);
    f.tree.deleteItem(d);
    EXPECT_EQ(f.tree.stateImage(f.folder), kStateTicked);
    EXPECT_EQ(f.tree.stateImage(f.root), kStateTicked);
    EXPECT_TRUE(f.tree.getCheck(f.root));

    f.tree.deleteItem(f.folder);
    EXPECT_FALSE(f.tree.isValid(f.a));
    EXPECT_EQ(f.tree.record(f.root)->descendants, 0);
    EXPECT_EQ(f.tree.record(f.root)->checkedDescendants, 0);
    EXPECT_EQ(f.tree.firstChild(f.root), kNoItem);
}

TEST(CheckModel, DisabledItemsSeparatorsAndNotifications) {
    Folder f;
    std::vector<std::pair<TreeItem, bool>> seen;
    f.tree.onCheckChanged = [&](TreeItem i, bool v) { seen.push_back({i, v}); };
    f.tree.setEnabled(f.c, false);
    f.tree.setCheck(f.c, true);
    EXPECT_FALSE(f.tree.getCheck(f.c));
    EXPECT_EQ(f.tree.stateImage(f.c), kStateUnticked + kStateDisabledOffset);
    EXPECT_TRUE(seen.empty());

    f.tree.setSeparator(f.b, true);
    f.tree.setCheck(f.a, true);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].first, f.a);
    EXPECT_TRUE(seen[0].second);
    EXPECT_EQ(f.tree.record(f.folder)->separators, 1);
    EXPECT_EQ(f.tree.stateImage(f.folder), kStatePartly);  // c is disabled and unticked
}

TEST(CheckModel, SmartModeOffKeepsOwnFlags) {
    MemoryTree tree;
    tree.smartCheck = false;
    TreeItem p = tree.insertItem("p", kIconFolder, kNoItem);
    TreeItem c = tree.insertItem("c", kIconFile, p);
    tree.setCheck(p, true);
    EXPECT_TRUE(tree.getCheck(p));
    EXPECT_FALSE(tree.getCheck(c));
    tree.checkBoxes = false;
    EXPECT_FALSE(tree.getCheck(p));
}

TEST(MemoryTree, NavigationOrderAndData) {
    Folder f;
    EXPECT_EQ(f.tree.rootItem(), f.root);
    EXPECT_EQ(f.tree.firstChild(f.folder), f.a);
    EXPECT_EQ(f.tree.nextSibling(f.a), f.b);
    EXPECT_EQ(f.tree.nextSibling(f.c), kNoItem);
    EXPECT_EQ(f.tree.parentItem(f.b), f.folder);
    f.tree.deleteItem(f.b);
    EXPECT_EQ(f.tree.nextSibling(f.a), f.c);
    EXPECT_EQ(f.tree.itemData(f.c), 12);
    EXPECT_EQ(f.tree.itemText(f.c), "c.txt");
    EXPECT_EQ(f.tree.itemText(f.b), "");
    f.tree.setTextColor(f.c, kColorRed);
    EXPECT_EQ(f.tree.textColor(f.c), kColorRed);
    f.tree.deleteAllItems();
    EXPECT_EQ(f.tree.rootItem(), kNoItem);
    EXPECT_EQ(f.tree.liveCount(), 0u);
}
