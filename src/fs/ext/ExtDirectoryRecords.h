#pragma once
// The names one directory block holds, deleted ones included: the records of its chain and the
// records a deletion left in the slack of the record before them (the record lengths were
// merged, the bytes stayed).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quarvell {

struct ExtNameRecord {
    uint32_t inode = 0;
    uint8_t fileType = 0;   // 0 when the volume's entries carry no type
    bool inSlack = false;   // found in a record's slack: deleted
    std::string name;
};

struct ExtDirectoryBlock {
    bool valid = false;     // the chain of records covers the block exactly
    uint32_t selfInode = 0; // the inode of its "." record when the block starts with one
    std::vector<ExtNameRecord> records;  // without "." and ".."
};

// Reads one block strictly: a block whose chain does not hold together is not a directory block.
ExtDirectoryBlock readDirectoryBlock(const uint8_t* block, size_t size, uint32_t inodesCount, bool fileTypes);

}  // namespace quarvell
