#include "controls/MemoryTree.h"

#include <algorithm>

namespace quarvell {

namespace {
int32_t atLeastZero(int32_t v) { return v < 0 ? 0 : v; }
}  // namespace

MemoryTree::Node* MemoryTree::node(TreeItem item) {
    if (item <= 0 || size_t(item) > nodes_.size()) return nullptr;
    Node* n = &nodes_[size_t(item - 1)];
    return n->alive ? n : nullptr;
}

const MemoryTree::Node* MemoryTree::node(TreeItem item) const {
    return const_cast<MemoryTree*>(this)->node(item);
}

bool MemoryTree::isValid(TreeItem item) const { return node(item) != nullptr; }

const XHTMLTREEDATA* MemoryTree::record(TreeItem item) const {
    const Node* n = node(item);
    return n ? &n->rec : nullptr;
}

// Adds d to the ticked counts of every ancestor from `from` upwards, recomputing each one's own
// flag; an ancestor whose flag flips counts (or stops counting) one level further up.
void MemoryTree::ancestorStep(TreeItem from, int32_t d) {
    for (TreeItem a = from; a != kNoItem;) {
        Node* n = node(a);
        if (!n) break;
        XHTMLTREEDATA& r = n->rec;
        r.checkedDescendants = atLeastZero(r.checkedDescendants + d);
        bool was = r.checked;
        r.checked = r.descendants > 0 && r.checkedDescendants == r.descendants - r.separators;
        if (r.descendants == 0) r.checked = was;
        if (r.checked != was) d += r.checked ? 1 : -1;
        a = n->parent;
    }
}

TreeItem MemoryTree::insertItem(const std::string& text, int image, TreeItem parent, int64_t data) {
    if (parent != kNoItem && !node(parent)) return kNoItem;
    nodes_.emplace_back();
    TreeItem id = TreeItem(nodes_.size());
    Node& n = nodes_.back();
    n.text = text;
    n.image = image;
    n.data = data;
    n.parent = parent;
    if (parent == kNoItem) {
        n.prev = lastTop_;
        if (lastTop_ != kNoItem) node(lastTop_)->next = id; else firstTop_ = id;
        lastTop_ = id;
    } else {
        Node* p = node(parent);
        n.prev = p->lastChild;
        if (p->lastChild != kNoItem) node(p->lastChild)->next = id; else p->firstChild = id;
        p->lastChild = id;
    }
    ++live_;
    if (smartCheck) {
        for (TreeItem a = parent; a != kNoItem; a = node(a)->parent) node(a)->rec.descendants += 1;
        ancestorStep(parent, node(id)->rec.checked ? 1 : 0);
    }
    return id;
}

void MemoryTree::unlink(TreeItem item) {
    Node* n = node(item);
    if (n->prev != kNoItem) node(n->prev)->next = n->next;
    if (n->next != kNoItem) node(n->next)->prev = n->prev;
    if (n->parent == kNoItem) {
        if (firstTop_ == item) firstTop_ = n->next;
        if (lastTop_ == item) lastTop_ = n->prev;
    } else {
        Node* p = node(n->parent);
        if (p->firstChild == item) p->firstChild = n->next;
        if (p->lastChild == item) p->lastChild = n->prev;
    }
}

void MemoryTree::deleteOne(TreeItem item) {
    Node* n = node(item);
    if (smartCheck) {
        for (TreeItem a = n->parent; a != kNoItem; a = node(a)->parent) {
            XHTMLTREEDATA& r = node(a)->rec;
            r.descendants = atLeastZero(r.descendants - 1);
            if (n->rec.separator) r.separators = atLeastZero(r.separators - 1);
        }
        ancestorStep(n->parent, n->rec.checked ? -1 : 0);
    }
    unlink(item);
    n = node(item);
    n->alive = false;
    n->text.clear();
    n->text.shrink_to_fit();
    --live_;
}

void MemoryTree::deleteItem(TreeItem item) {
    if (!node(item)) return;
    // Depth first, children before their parent, without recursion.
    std::vector<TreeItem> stack{item};
    std::vector<TreeItem> order;
    while (!stack.empty()) {
        TreeItem t = stack.back();
        stack.pop_back();
        order.push_back(t);
        for (TreeItem c = node(t)->firstChild; c != kNoItem; c = node(c)->next) stack.push_back(c);
    }
    for (auto it = order.rbegin(); it != order.rend(); ++it) deleteOne(*it);
}

void MemoryTree::deleteAllItems() {
    nodes_.clear();
    firstTop_ = lastTop_ = kNoItem;
    live_ = 0;
}

TreeItem MemoryTree::firstChild(TreeItem item) const {
    if (item == kNoItem) return firstTop_;
    const Node* n = node(item);
    return n ? n->firstChild : kNoItem;
}

TreeItem MemoryTree::nextSibling(TreeItem item) const {
    const Node* n = node(item);
    return n ? n->next : kNoItem;
}

TreeItem MemoryTree::parentItem(TreeItem item) const {
    const Node* n = node(item);
    return n ? n->parent : kNoItem;
}

std::string MemoryTree::itemText(TreeItem item) const {
    const Node* n = node(item);
    return n ? n->text : std::string();
}

void MemoryTree::setItemText(TreeItem item, const std::string& text) {
    if (Node* n = node(item)) n->text = text;
}

int MemoryTree::itemImage(TreeItem item) const {
    const Node* n = node(item);
    return n ? n->image : kIconNone;
}

int64_t MemoryTree::itemData(TreeItem item) const {
    const Node* n = node(item);
    return n ? n->data : kNoData;
}

void MemoryTree::setItemData(TreeItem item, int64_t data) {
    if (Node* n = node(item)) n->data = data;
}

uint32_t MemoryTree::textColor(TreeItem item) const {
    const Node* n = node(item);
    return n ? n->rec.textColor : kColorDefault;
}

void MemoryTree::setTextColor(TreeItem item, uint32_t rgb) {
    if (Node* n = node(item)) n->rec.textColor = rgb;
}

void MemoryTree::expand(TreeItem item) {
    if (Node* n = node(item)) n->expanded = true;
}

bool MemoryTree::isExpanded(TreeItem item) const {
    const Node* n = node(item);
    return n && n->expanded;
}

void MemoryTree::setEnabled(TreeItem item, bool enabled) {
    if (Node* n = node(item)) n->rec.enabled = enabled;
}

void MemoryTree::setSeparator(TreeItem item, bool separator) {
    Node* n = node(item);
    if (!n || n->rec.separator == separator) return;
    n->rec.separator = separator;
    for (TreeItem a = n->parent; a != kNoItem; a = node(a)->parent) {
        XHTMLTREEDATA& r = node(a)->rec;
        r.separators = atLeastZero(r.separators + (separator ? 1 : -1));
    }
}

bool MemoryTree::getCheck(TreeItem item) const {
    const Node* n = node(item);
    if (!n || !checkBoxes) return false;
    const XHTMLTREEDATA& r = n->rec;
    if (smartCheck && r.descendants > 0)
        return r.checkedDescendants != 0 && r.checkedDescendants == r.descendants - r.separators;
    return r.checked;
}

int MemoryTree::stateImage(TreeItem item) const {
    const Node* n = node(item);
    if (!n) return 0;
    const XHTMLTREEDATA& r = n->rec;
    int index;
    if (smartCheck && r.descendants > 0) {
        if (r.checkedDescendants == 0) index = kStateUnticked;
        else if (r.checkedDescendants == r.descendants - r.separators) index = kStateTicked;
        else index = kStatePartly;
    } else {
        index = r.checked ? kStateTicked : kStateUnticked;
    }
    return r.enabled ? index : index + kStateDisabledOffset;
}

void MemoryTree::setSubtree(TreeItem item, bool v) {
    std::vector<TreeItem> stack{item};
    while (!stack.empty()) {
        TreeItem t = stack.back();
        stack.pop_back();
        Node* n = node(t);
        XHTMLTREEDATA& r = n->rec;
        if (r.enabled && !r.separator) {
            r.checked = v;
            r.checkedDescendants = v ? atLeastZero(r.descendants - r.separators) : 0;
        }
        for (TreeItem c = n->firstChild; c != kNoItem; c = node(c)->next) stack.push_back(c);
    }
}

void MemoryTree::setCheck(TreeItem item, bool v) {
    Node* n = node(item);
    if (!n || !n->rec.enabled || n->rec.separator) return;
    bool old = n->rec.checked;
    n->rec.checked = v;
    if (smartCheck && v != old) {
        int32_t d = v ? (n->rec.descendants - n->rec.checkedDescendants + 1) : -(n->rec.checkedDescendants + 1);
        setSubtree(item, v);
        ancestorStep(node(item)->parent, d);
    }
    if (onCheckChanged) onCheckChanged(item, v);
}

}  // namespace quarvell
