#pragma once
// Which recovery modes the mode page offers for a volume: those of the file system its label
// dispatches to, or, for a label no parser answers to, by the label's first three letters.
#include <string>

namespace quarvell {

struct ParseModeOptions {
    bool advanced = true;      // "Advanced"
    bool deep = true;          // "Deep"
    bool formattedBox = false; // "Is Drive Formated..?" with Advanced

    static ParseModeOptions forFileSystem(const std::string& label);
};

// The first three characters of a label after its leading blanks.
std::string fileSystemPrefix(const std::string& label);

}  // namespace quarvell
