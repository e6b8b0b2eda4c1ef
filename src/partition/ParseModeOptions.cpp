#include "partition/ParseModeOptions.h"

#include "common/TextFormat.h"

namespace quarvell {

std::string fileSystemPrefix(const std::string& label) {
    size_t b = label.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    return label.substr(b, 3);
}

ParseModeOptions ParseModeOptions::forFileSystem(const std::string& label) {
    const std::string prefix = fileSystemPrefix(label);
    auto is = [&](const char* p) { return equalsNoCase(prefix, p); };
    ParseModeOptions o;
    o.deep = !(is("fat") || is("exF") || is("ext"));
    o.advanced = !(is("ext") || is("HFS"));
    o.formattedBox = is("fat");
    return o;
}

}  // namespace quarvell
