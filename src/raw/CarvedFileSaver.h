#pragma once
// Writes carved files: the bytes [start, start + length) from the reader, under the item's name
// inside the output folder, streamed in bounded pieces.
#include <cstdint>
#include <string>

namespace quarvell {

class readWriteInterface;

struct CarvedSaveResult {
    bool ok = false;
    std::string path;              // the file written
    int64_t unreadableBytes = 0;   // written as zeros because the medium could not give them
    std::string error;             // why nothing (or not everything) could be written
};

class CarvedFileSaver {
public:
    // The name is made one safe entry of the folder (safeComponent). Never overwrites: a name
    // that is taken gets "(2)", "(3)", ... before its extension.
    static CarvedSaveResult save(readWriteInterface& reader, const std::string& folder, const std::string& name,
                                 int64_t start, int64_t length);
};

}  // namespace quarvell
