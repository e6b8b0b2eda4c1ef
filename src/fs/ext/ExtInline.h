#pragma once
// The part of an inline file or directory that does not fit in the inode's block area: the
// value of its "system.data" extended attribute, kept in the inode's extra space.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quarvell {

// Empty when the inode has no such attribute (or its layout does not hold together).
std::vector<uint8_t> inlineDataAttribute(const uint8_t* inode, size_t inodeSize);

}  // namespace quarvell
