#pragma once
// The recycle-bin restoration shows a "$R" file under its former name, which The Sleuth Kit's
// fls does not: comparisons with fls leave those files out on both sides (their bytes are
// checked against the manifests).
#include <string>

namespace quarvell::testing {

inline bool renamedFromRecycleBin(const std::string& path) {
    const size_t bin = path.find("$RECYCLE.BIN/");
    if (bin == std::string::npos) return false;
    const std::string name = path.substr(path.rfind('/') + 1);
    return path.find('/', bin + 13) != std::string::npos && name.rfind("$I", 0) != 0;
}

}  // namespace quarvell::testing
