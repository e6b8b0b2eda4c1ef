#pragma once
// The records the NTFS parser keeps: data runs, one entry per MFT slot (or per record a deep scan
// found), and what a record's attributes say about its name, times and data.
#include <cstdint>
#include <string>
#include <vector>

namespace quarvell {

inline constexpr int64_t kNoLink = -1;        // ends a child or sibling chain
inline constexpr uint32_t kAttrStandardInfo = 0x10;
inline constexpr uint32_t kAttrAttributeList = 0x20;
inline constexpr uint32_t kAttrFileName = 0x30;
inline constexpr uint32_t kAttrData = 0x80;
inline constexpr uint32_t kAttrEnd = 0xFFFFFFFF;
inline constexpr uint32_t kFileNameIsDirectory = 0x10000000;
inline constexpr uint16_t kRecordInUse = 0x0001;
inline constexpr uint16_t kRecordIsDirectory = 0x0002;

// One run of a run list: `count` clusters from cluster `start`; a sparse run has no clusters.
struct MftRun {
    int64_t start = 0;
    uint64_t count = 0;
    bool sparse = false;
    bool missing = false;  // VCNs no extent covers (an extension record could not be read)
};

struct MftEntry {
    uint64_t recordOffset = 0;   // byte offset of the record from the volume's start
    bool isRecord = false;       // the slot begins with "FILE"
    bool named = false;
    std::string name;            // UTF-8
    int64_t parent = kNoLink;    // index of the parent entry
    uint64_t dataSize = 0;       // length of the unnamed $DATA stream
    uint64_t allocatedSize = 0;  // from the file name attribute
    uint16_t recordFlags = 0;    // bit 0 set: in use
    char kind = 0;               // 'D' for a directory
    bool orphan = false;
    int64_t firstChild = kNoLink;
    int64_t lastChild = kNoLink;
    int64_t nextSibling = kNoLink;
    int64_t recordNumber = -1;   // the number the record header names itself by (-1: none)
    int64_t baseRecord = 0;      // an extension record's base record number (0: none)
    uint32_t fileAttributes = 0; // the file name attribute's flags
    bool hasTimes = false;
    uint64_t creationTime = 0, modificationTime = 0, accessTime = 0;  // Windows file times
};

// One $FILE_NAME attribute of a record.
struct NtfsFileName {
    int64_t parent = 0;  // low 48 bits of the parent reference
    uint8_t nameSpace = 0;  // 0 POSIX, 1 Win32, 2 DOS, 3 Win32 and DOS
    uint32_t flags = 0;
    uint64_t allocatedSize = 0;
    std::string name;
};

// An attribute of a record, with every offset checked against the record.
struct NtfsAttribute {
    uint32_t type = 0;
    uint32_t offset = 0;      // from the record's start
    uint32_t length = 0;
    bool nonResident = false;
    uint16_t flags = 0;
    uint8_t nameLength = 0;   // characters of the attribute's own name (0: unnamed)
    uint16_t instance = 0;
    // resident
    uint32_t valueOffset = 0; // from the record's start
    uint32_t valueLength = 0;
    // non-resident
    uint64_t firstVcn = 0, lastVcn = 0;
    uint32_t runOffset = 0;   // from the record's start
    uint32_t runLength = 0;
    uint16_t compressionExponent = 0;
    uint64_t allocatedSize = 0, realSize = 0, initializedSize = 0;
    bool runsUsable = false;  // the non-resident header and run offset fit in the attribute
};

// The unnamed stream of one attribute type, gathered from the base record and the extension
// records its attribute list names, in VCN order.
struct NtfsStream {
    bool found = false;
    bool resident = false;
    std::vector<uint8_t> residentBytes;
    std::vector<MftRun> runs;  // gaps between extents are `missing` runs
    uint64_t realSize = 0;
    uint64_t initializedSize = 0;
    uint16_t flags = 0;        // of the first extent: 0x00FF compressed, 0x4000 encrypted
    uint16_t compressionExponent = 0;
    uint32_t extensionRecords = 0;
};

// What parsing a record found.
struct ParsedRecord {
    bool valid = false;       // "FILE" with a usable header
    uint16_t flags = 0;
    int64_t recordNumber = -1;
    std::vector<NtfsFileName> names;
    bool hasTimes = false;
    uint64_t creation = 0, modification = 0, access = 0;
    bool hasData = false;
    bool hasAttributeList = false;
    uint64_t dataSize = 0;
    int64_t baseRecord = 0;  // an extension record's base record number (0: a base record)
};

}  // namespace quarvell
