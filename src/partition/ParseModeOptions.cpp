#include "partition/ParseModeOptions.h"

#include "common/TextFormat.h"
#include "fs/FileSystemKind.h"

namespace quarvell {

std::string fileSystemPrefix(const std::string& label) {
    size_t b = label.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    return label.substr(b, 3);
}

ParseModeOptions ParseModeOptions::forFileSystem(const std::string& label) {
    ParseModeOptions o;
    if (const FileSystemKind* kind = findFileSystemKind(trim(label))) {
        o.advanced = kind->modes.advanced;
        o.deep = kind->modes.deep;
        o.formattedBox = kind->modes.formattedBox;
        return o;
    }
    // A label no parser answers to keeps the page's choices by its first three letters; the
    // scan page then says "not a valid drive.".
    const std::string prefix = fileSystemPrefix(label);
    auto is = [&](const char* p) { return equalsNoCase(prefix, p); };
    o.deep = !(is("fat") || is("exF") || is("ext"));
    o.advanced = !(is("ext") || is("HFS"));
    o.formattedBox = is("fat");
    return o;
}

}  // namespace quarvell
