#include "cli/TreePath.h"

#include "common/TextFormat.h"
#include "common/Utf.h"
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
int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Names show control characters as their control pictures; a path part that still writes one
// as "%XX" means the same name.
std::string asShown(const std::string& part) {
    std::string out;
    for (size_t i = 0; i < part.size(); ++i) {
        const int high = i + 2 < part.size() && part[i] == '%' ? hexDigit(part[i + 1]) : -1;
        const int low = high >= 0 ? hexDigit(part[i + 2]) : -1;
        const int code = low >= 0 ? high * 16 + low : -1;
        if (code >= 0 && (code < 0x20 || code == 0x7F)) {
            out += controlPictures(std::string(1, char(code)));
            i += 2;
        } else {
            out.push_back(part[i]);
        }
    }
    return out;
}

std::vector<std::string> splitPath(const std::string& path) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (;;) {
        size_t slash = path.find('/', from);
        parts.push_back(asShown(path.substr(from, slash == std::string::npos ? std::string::npos : slash - from)));
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
