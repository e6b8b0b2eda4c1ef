#pragma once
// How the standard scan fits what it finds to the medium: a medium that is one volume from its
// first sector on, and table entries that reach past the medium's end.
#include <cstdint>
#include <string>

#include "disk/BootRecord.h"
#include "disk/VolumeEntry.h"

namespace quarvell {

// Sector 0 ends in 0x55 0xAA: only then are its partition entries read.
bool hasTableSignature(const uint8_t* sector0);

enum class EntryFit { Fits, Clipped, PastEnd };

// A table entry of `count` sectors from `start` on a medium of mediumSectors (0: unknown): past
// the end when it starts there, clipped (count shortened) when it runs past it.
EntryFit fitToMedium(int64_t start, uint64_t& count, uint64_t mediumSectors);

// The one volume covering a medium whose start the table's kinds recognise as `found`. Its
// length is the medium's; a file system claiming more than the medium holds is listed
// clipped, and warning says so.
VolumeEntry wholeMediumVolume(const BootRecordMatch& found, uint64_t mediumSectors, std::string& warning);

// "partition N starts past the end of the medium ..." / "... runs past ...": the status lines of
// entries that do not fit.
std::string pastEndWarning(int entry, int64_t start, uint64_t mediumSectors);
std::string clippedWarning(int entry, int64_t start, uint64_t listedSectors, uint64_t mediumSectors);

}  // namespace quarvell
