#pragma once
// Parser of one ext2, ext3 or ext4 volume: the superblock, the block group descriptors (32- or
// 64-byte), the inode tables, the directory entries of every directory inode (linear blocks;
// indexed directories read the same way), the named inodes linked into first-child /
// next-sibling chains under a synthetic "ROOT" entry, their texts, and a file's data as runs
// (direct and indirect blocks, extent trees of any depth, inline data, symbolic links).
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/DateTextCache.h"
#include "controls/ResultTree.h"
#include "fs/EntryAdapter.h"
#include "fs/FileData.h"
#include "partition/VolumeEntry.h"

namespace quarvell {

class ExtJournal;
class readWriteInterface;
class UiSink;
class WorkerControl;

// Mode bits and file types.
inline constexpr uint16_t kExtTypeMask = 0xF000;
inline constexpr uint16_t kExtDirectory = 0x4000;
inline constexpr uint16_t kExtRegular = 0x8000;
inline constexpr uint16_t kExtSymlink = 0xA000;
// Inode flags.
inline constexpr uint32_t kExtFlagEncrypted = 0x800;
inline constexpr uint32_t kExtFlagExtents = 0x80000;
inline constexpr uint32_t kExtFlagInline = 0x10000000;
// The key of the synthetic top entry.
inline constexpr int64_t kExtRootKey = 2;

// The superblock values the parse uses.
struct ExtGeometry {
    uint64_t position = 0;        // byte offset of the superblock used
    uint32_t blockSize = 0;
    uint64_t blocksCount = 0;     // 64-bit with the 64bit feature
    uint32_t firstDataBlock = 0;
    uint32_t blocksPerGroup = 0;
    uint32_t inodesCount = 0;
    uint32_t freeInodesCount = 0;
    uint32_t inodesPerGroup = 0;
    uint32_t inodeSize = 0;
    uint32_t descriptorSize = 32;
    uint64_t groupCount = 0;      // rounded up: a partial last group counts
    uint32_t featureCompat = 0;
    uint32_t featureIncompat = 0;
    uint32_t featureRoCompat = 0;
    uint32_t firstMetaGroup = 0;
    bool fileTypeFlag = false;    // directory entries carry a file type
    bool groupChecksums = false;  // descriptors' unused-inode counts and flags can be trusted
    bool hasJournal = false;
    uint32_t journalInode = 0;    // 0 with a journal: it is on another device
};

struct ExtGroup {
    uint64_t inodeTable = 0;  // block number
    uint64_t blockBitmap = 0;
    uint16_t flags = 0;
    uint32_t unusedInodes = 0;
};

// One inode as the result tree sees it. `mode` is the type the tree goes by (a directory
// entry's file type replaces the inode's); `inodeMode` is what the inode itself says.
struct ExtInodeEntry {
    std::string name;
    bool named = false;
    int64_t index = -1;    // inode number - 1; the map key
    int64_t parent = -1;   // map key of the containing directory; -1 = none
    uint16_t mode = 0;
    uint16_t inodeMode = 0;
    uint16_t links = 0;
    uint32_t flags = 0;
    uint64_t size = 0;
    uint64_t tableBlock = 0;
    uint32_t slot = 0;
    int64_t firstChild = -1;
    int64_t nextSibling = -1;
    uint32_t accessTime = 0;
    uint32_t changeTime = 0;
    uint32_t modificationTime = 0;
    uint32_t deletionTime = 0;  // 0: not known
    int32_t recovered = -1;     // a deleted entry: its place among the recovered inodes
};

// A deleted inode as a journal copy of its inode table block held it while it was in use.
struct ExtRecoveredInode {
    std::vector<uint8_t> bytes;
    int64_t age = 0;           // of the copy's transaction (larger is newer)
    bool overwritten = false;  // some of its blocks were allocated again since the delete
};

// Gives the bytes of a block map's own block (an indirect block or an extent node) from
// somewhere other than the volume; false leaves the volume's block to be read.
using ExtMapBlockSource = std::function<bool(uint64_t block, bool extentNode, std::vector<uint8_t>& out)>;

// One piece of a block map, in logical block order.
struct ExtBlockRun {
    enum class Kind {
        Data,     // `count` blocks from `physical`
        Zeros,    // an uninitialised extent: reads as zeros and is part of the file
        Missing,  // the map itself could not be read or points outside the volume
    };
    Kind kind = Kind::Data;
    uint64_t logical = 0;
    uint64_t physical = 0;
    uint64_t count = 0;
};

struct ExtBlockMap {
    std::vector<ExtBlockRun> runs;  // sorted by logical block, without overlaps
    uint64_t unreadableBytes = 0;   // of indirect blocks and extent nodes
    std::string problem;            // a refused structure (loop, depth, bad header)
};

// The three times a saved file receives, seconds since 1970-01-01 UTC.
struct ExtFileTimes {
    int64_t creation = 0;
    int64_t lastAccess = 0;
    int64_t lastWrite = 0;
};

class ext2Class {
public:
    ext2Class() = default;
    ext2Class(const ext2Class&) = delete;
    ext2Class& operator=(const ext2Class&) = delete;

    // Hand-off links, set before the parse starts.
    VolumeEntry volume;
    readWriteInterface* reader = nullptr;
    ResultTree* tree = nullptr;
    UiSink* sink = nullptr;
    WorkerControl* control = nullptr;
    std::string rootName = "ROOT";
    uint64_t volumeSize = 0;  // bytes; 0 ends the parse

    bool attachExtVolume();
    bool findSuperblock();
    bool readGroupDescriptors();
    bool readInodeTables();
    // Whether the inode tables gave the root (inode 2) as a directory in use.
    bool rootDirectoryInUse() const {
        for (const DirectoryInode& d : directories_)
            if (d.index + 1 == kExtRootKey) return true;
        return false;
    }
    bool walkDirectories();
    bool buildExtEntryMap();
    bool linkExtParentChild();
    bool fillExtRootEntries();
    // Deep mode, between the directory walk and the entry map: deleted files and folders from
    // the journal's copies of the inode tables, named from the directory entries the volume
    // and the journal still hold; those no folder claims go under ORPHAN_ENTRY.
    bool recoverFromJournal();

    // The block map of an inode (its raw bytes) covering the first `neededBlocks` blocks:
    // direct and indirect pointers, or the extent tree; `source` may give the map's own blocks.
    ExtBlockMap collectExtBlocks(const uint8_t* inode, uint64_t neededBlocks,
                                 const ExtMapBlockSource* source = nullptr) const;

    EntryTexts formatExtEntryTimes(const ExtInodeEntry& entry) const;
    std::string formatExtEntrySize(const ExtInodeEntry& entry) const;
    ExtFileTimes computeExtFileTimes(const ExtInodeEntry& entry) const;
    // A file's data for the run writer (symbolic links: the target text).
    FileData extFileData(const ExtInodeEntry& entry) const;

    const ExtInodeEntry* findEntry(int64_t key) const;
    // The root directory's own "." entry (the root inode's key, named "."): never listed.
    bool isRootDot(int64_t key) const;
    const std::vector<ExtInodeEntry>& entryMap() const { return map_; }
    const ExtGeometry& geometry() const { return geo_; }
    const std::vector<ExtGroup>& groups() const { return groups_; }
    // Bytes of inode tables, directory blocks and block maps that could not be read.
    uint64_t unreadableMetadata() const { return unreadableMetadata_; }
    // Incompatible features this parser does not understand, by name ("encrypt", ...).
    const std::vector<std::string>& unsupportedFeatures() const { return unsupported_; }
    uint64_t volumeBlocks() const;

    // Reads the raw bytes of inode (index + 1); empty when it is outside the tables.
    std::vector<uint8_t> readInode(int64_t index) const;

private:
    struct DirectoryInode {
        int64_t index;
        std::vector<uint8_t> bytes;
    };

    bool stopPolled() const;
    void status(const std::string& text) const;
    void progressRange(int64_t high) const;
    void progressPos(int64_t pos) const;
    bool readAt(uint64_t offset, uint8_t* buf, size_t count) const;
    bool acceptSuperblock(const uint8_t* sb, uint64_t position);
    uint64_t groupFirstBlock(uint64_t group) const;
    bool groupHasSuperblock(uint64_t group) const;
    ExtInodeEntry* entryForNaming(int64_t index);
    void walkDirectoryBytes(const uint8_t* block, size_t length, bool& firstDot, int64_t& currentParent);
    void walkOneDirectory(const DirectoryInode& dir, bool& firstDot, int64_t& currentParent);
    // Journal copies of a recovered inode's map blocks, from its own time or the nearest after.
    ExtMapBlockSource journalMapSource(int64_t age) const;
    bool blockInUseNow(uint64_t block) const;
    const ExtInodeEntry* liveEntry(int64_t index) const;

    ExtGeometry geo_;
    std::vector<ExtGroup> groups_;
    std::vector<ExtInodeEntry> entries_;  // inodes in use, in inode order
    std::map<int64_t, ExtInodeEntry> extraNamed_;  // named inodes whose slot looked unused
    std::vector<DirectoryInode> directories_;
    std::vector<ExtInodeEntry> map_;  // named entries in key order, the root included
    std::vector<ExtInodeEntry> deleted_;  // deep mode: keys after every inode's, ascending
    std::vector<ExtRecoveredInode> recovered_;
    std::shared_ptr<const ExtJournal> journal_;
    mutable std::map<uint64_t, std::vector<uint8_t>> bitmaps_;  // group -> block bitmap (empty: unreadable)
    struct InodeWindow {
        uint64_t start = 0;
        std::vector<uint8_t> bytes;
        std::vector<std::pair<uint64_t, uint32_t>> lost;  // byte ranges that could not be read
    };
    mutable std::mutex inodeWindowMutex_;  // the tree's thread and a save may both read inodes
    mutable InodeWindow inodeWindow_;
    mutable DateTextCache dateTexts_;
    // Lookup by key once the map is complete (the tree asks for entries many times each).
    std::unordered_map<int64_t, const ExtInodeEntry*> index_;
    std::vector<std::string> unsupported_;
    uint64_t unreadableMetadata_ = 0;
    uint64_t directoryBlocksWalked_ = 0;
    TreeItem topItem_ = kNoItem;
};

}  // namespace quarvell
