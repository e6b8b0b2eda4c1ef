#pragma once
// In-memory result tree with the three-state check model: every item keeps an XHTMLTREEDATA
// record whose descendant counts are maintained incrementally by insert, delete and setCheck.
#include <functional>
#include <vector>

#include "controls/ResultTree.h"
#include "controls/XHTMLTREEDATA.h"

namespace quarvell {

class MemoryTree : public ResultTree {
public:
    MemoryTree() = default;

    TreeItem insertItem(const std::string& text, int image, TreeItem parent, int64_t data = kNoData) override;
    void deleteItem(TreeItem item) override;
    void deleteAllItems() override;

    TreeItem rootItem() const override { return firstTop_; }
    TreeItem firstChild(TreeItem item) const override;
    TreeItem nextSibling(TreeItem item) const override;
    TreeItem parentItem(TreeItem item) const override;

    std::string itemText(TreeItem item) const override;
    void setItemText(TreeItem item, const std::string& text) override;
    int itemImage(TreeItem item) const override;
    int64_t itemData(TreeItem item) const override;
    void setItemData(TreeItem item, int64_t data) override;
    uint32_t textColor(TreeItem item) const override;
    void setTextColor(TreeItem item, uint32_t rgb) override;

    void expand(TreeItem item) override;
    bool isExpanded(TreeItem item) const override;

    bool getCheck(TreeItem item) const override;
    void setCheck(TreeItem item, bool checked) override;
    int stateImage(TreeItem item) const override;

    // Control-wide flags.
    bool checkBoxes = true;
    bool smartCheck = true;

    void setEnabled(TreeItem item, bool enabled);
    void setSeparator(TreeItem item, bool separator);
    const XHTMLTREEDATA* record(TreeItem item) const;
    bool isValid(TreeItem item) const;
    size_t liveCount() const { return live_; }

    // Called after every setCheck that reached an item (item, new state).
    std::function<void(TreeItem, bool)> onCheckChanged;

private:
    struct Node {
        TreeItem parent = kNoItem, firstChild = kNoItem, lastChild = kNoItem, prev = kNoItem, next = kNoItem;
        std::string text;
        int image = kIconNone;
        int64_t data = kNoData;
        bool expanded = false;
        bool alive = true;
        XHTMLTREEDATA rec;
    };
    Node* node(TreeItem item);
    const Node* node(TreeItem item) const;
    void ancestorStep(TreeItem from, int32_t d);
    void setSubtree(TreeItem item, bool v);
    void unlink(TreeItem item);
    void deleteOne(TreeItem item);

    std::vector<Node> nodes_;  // item id = index + 1; ids are never reused
    TreeItem firstTop_ = kNoItem, lastTop_ = kNoItem;
    size_t live_ = 0;
};

}  // namespace quarvell
