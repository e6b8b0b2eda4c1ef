#pragma once
// Reading one MFT record from bytes in memory: the update-sequence fixups, the attribute walk,
// run-list decoding and the fields the listing needs. Nothing here trusts an on-disk offset or
// length: everything is checked against the record.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fs/ntfs/NtfsRecords.h"

namespace quarvell {

// "FILE" at the start.
bool hasFileSignature(const uint8_t* record, size_t size);
// The plausible-record test of the volume scans: "FILE" and the update sequence offset, its
// size and the first attribute offset each below 512.
bool isPlausibleRecord(const uint8_t* record, size_t size);
// Puts each sector's last two bytes back from the update sequence array. Positions that would
// leave the record or read past it are skipped. The check value is not compared: a torn record
// still gives what it holds.
void applyFixups(uint8_t* record, size_t size, uint32_t sectorSize);
// The attributes from the first attribute offset, up to the end marker, a length of 0 or an
// attribute that does not fit in the record. At most size / 16 of them.
std::vector<NtfsAttribute> walkAttributes(const uint8_t* record, size_t size);
// Decodes a run list. Cluster numbers and counts are 64-bit; the list is cut where the running
// count reaches maxClusters, at a malformed header, or at the end of the bytes.
std::vector<MftRun> decodeRuns(const uint8_t* runs, size_t length, uint64_t maxClusters);
// The run list of a non-resident attribute, cut at its cluster count (last VCN - first VCN + 1).
std::vector<MftRun> attributeRuns(const uint8_t* record, const NtfsAttribute& attr);
// The runs of the record's first non-resident unnamed $DATA attribute.
std::vector<MftRun> firstDataRuns(const uint8_t* record, size_t size);
// Name, parent, flags, times and data size of a fixed-up record.
ParsedRecord parseRecordBytes(const uint8_t* record, size_t size);
// The name and parent the listing uses: the first long (POSIX or Win32) file name; a DOS name
// only when there is no other. Null when the record has no file name.
const NtfsFileName* primaryName(const ParsedRecord& parsed);

}  // namespace quarvell
