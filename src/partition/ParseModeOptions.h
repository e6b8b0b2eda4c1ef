#pragma once
// Which recovery modes the mode page offers for a volume, decided by the first three letters of
// its file-system label.
#include <string>

namespace quarvell {

struct ParseModeOptions {
    bool advanced = true;      // "Advanced": not for ext or HFS+
    bool deep = true;          // "Deep": not for FAT, exFAT or ext
    bool formattedBox = false; // "Is Drive Formated..?" with Advanced: every "fat..." label

    static ParseModeOptions forFileSystem(const std::string& label);
};

// The first three characters of a label after its leading blanks.
std::string fileSystemPrefix(const std::string& label);

}  // namespace quarvell
