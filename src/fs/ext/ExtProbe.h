#pragma once
// Recognises an ext2/ext3/ext4 superblock, the primary one 1024 bytes into its volume or a
// backup copy at the start of a later block group.
#include "fs/FileSystemKind.h"

namespace quarvell {

// "extX" for a sector holding a superblock: magic 0xEF53, a block size of 1 to 64 KiB, non-zero
// counts and a group layout that fits them (first data block, blocks and inodes per group, the
// inode count matching the group count). The volume starts where the copy's group number
// (s_block_group_nr) places it; the length is the block count in 512-byte sectors.
ProbeMatch probeExt(const uint8_t* sector, ProbeUse use);

}  // namespace quarvell
