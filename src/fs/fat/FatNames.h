#pragma once
// Names of FAT directory entries: 8.3 short names (code page 437, the NT lowercase flags, the
// lost first character of a deleted entry) and the checksum that ties long names to them.
#include <cstdint>
#include <string>

namespace quarvell {

// The checksum of the 11 name bytes that every long-name slot of the entry carries.
uint8_t fatShortNameChecksum(const uint8_t* name11);

// "NAME.EXT" from the 11 name bytes of a short entry: padding removed, a dot only before a
// non-empty extension, byte 12's lowercase flags (0x08 base, 0x10 extension) honoured, a first
// byte of 0x05 read as 0xE5, and a deleted entry's lost first character shown as "_".
std::string fatShortName(const uint8_t* slot, bool deleted);

// UTF-8 of one code page 437 byte.
void appendCp437(std::string& out, uint8_t byte);

}  // namespace quarvell
