#include "cli/TreePath.h"

#include "common/TextFormat.h"
#include "scan/LazyTree.h"

namespace quarvell::cli {

std::string escapePathText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c == '%') out += "%25";
        else if (c == '/') out += "%2F";
        else if (c < 0x20 || c == 0x7F) out += format("%%%02X", c);
        else out.push_back(char(c));
    }
    return out;
}

std::string joinPath(const std::vector<std::string>& parts) {
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) out.push_back('/');
        out += parts[i];
    }
    return out;
}

namespace {
std::vector<std::string> splitPath(const std::string& path) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (;;) {
        size_t slash = path.find('/', from);
        parts.push_back(path.substr(from, slash == std::string::npos ? std::string::npos : slash - from));
        if (slash == std::string::npos) return parts;
        from = slash + 1;
    }
}

TreeItem findBelow(ResultTree& tree, const EntryAdapter& adapter, TreeItem item,
                   const std::vector<std::string>& parts, size_t index) {
    if (index == parts.size()) return item;
    expandFolder(tree, adapter, item, false);
    for (TreeItem c = tree.firstChild(item); c != kNoItem; c = tree.nextSibling(c)) {
        if (isPlaceholder(tree, c) || escapePathText(tree.itemText(c)) != parts[index]) continue;
        if (TreeItem found = findBelow(tree, adapter, c, parts, index + 1)) return found;
    }
    return kNoItem;
}
}  // namespace

TreeItem findItemByPath(ResultTree& tree, const EntryAdapter& adapter, const std::string& path) {
    const std::vector<std::string> parts = splitPath(path);
    for (TreeItem top = tree.rootItem(); top != kNoItem; top = tree.nextSibling(top)) {
        if (escapePathText(tree.itemText(top)) != parts[0]) continue;
        if (TreeItem found = findBelow(tree, adapter, top, parts, 1)) return found;
    }
    return kNoItem;
}

}  // namespace quarvell::cli
