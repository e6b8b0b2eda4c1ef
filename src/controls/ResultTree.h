#pragma once
// The tree every parser, the raw carving and the pages fill: items with text, an icon kind,
// item data and a three-state check box. MemoryTree implements it in memory; the desktop
// program shows one through its tree widget.
#include <cstdint>
#include <functional>
#include <string>

namespace quarvell {

using TreeItem = int64_t;
inline constexpr TreeItem kNoItem = 0;  // "no item"; as a parent: the tree's own root level
inline constexpr int64_t kNoData = -1;

// Icon kinds; the desktop program maps them to the theme's icons (a file's by its extension).
enum IconKind : int { kIconNone = 0, kIconPlaceholder = 1, kIconFolder = 2, kIconFile = 3, kIconCategory = 4 };

inline constexpr uint32_t kColorDefault = 0;
inline constexpr uint32_t kColorRed = 0xFF0000;

class ResultTree {
public:
    virtual ~ResultTree() = default;

    // Inserts an item as parent's last child (kNoItem: at the top level). Returns the new item.
    virtual TreeItem insertItem(const std::string& text, int image, TreeItem parent, int64_t data = kNoData) = 0;
    // Deletes the item and everything below it.
    virtual void deleteItem(TreeItem item) = 0;
    virtual void deleteAllItems() = 0;

    virtual TreeItem rootItem() const = 0;  // first top-level item
    virtual TreeItem firstChild(TreeItem item) const = 0;
    virtual TreeItem nextSibling(TreeItem item) const = 0;
    virtual TreeItem parentItem(TreeItem item) const = 0;
    virtual bool hasChildren(TreeItem item) const { return firstChild(item) != kNoItem; }

    virtual std::string itemText(TreeItem item) const = 0;
    virtual void setItemText(TreeItem item, const std::string& text) = 0;
    virtual int itemImage(TreeItem item) const = 0;
    virtual int64_t itemData(TreeItem item) const = 0;
    virtual void setItemData(TreeItem item, int64_t data) = 0;
    virtual uint32_t textColor(TreeItem item) const = 0;
    virtual void setTextColor(TreeItem item, uint32_t rgb) = 0;

    virtual void expand(TreeItem item) = 0;
    virtual bool isExpanded(TreeItem item) const = 0;

    // Check boxes (smart mode: a folder's box follows its descendants).
    virtual bool getCheck(TreeItem item) const = 0;
    virtual void setCheck(TreeItem item, bool checked) = 0;
    virtual int stateImage(TreeItem item) const = 0;
};

}  // namespace quarvell
