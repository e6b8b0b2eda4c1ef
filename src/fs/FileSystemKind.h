#pragma once
// One record per file system: the labels it answers to, the recovery modes it offers, its start
// status, and its parse. src/fs/FileSystems.cpp lists them all; the scan, the mode page, the
// "Treat file system as:" lists, the fuzz target and the conformance tests read that table.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/WorkerControl.h"
#include "controls/ResultTree.h"
#include "fs/EntryAdapter.h"
#include "partition/VolumeEntry.h"

namespace quarvell {

class readWriteInterface;
class UiSink;

enum class ParseMode {
    Standard,  // from the file system's own metadata
    Advanced,  // from a structure the advanced search found, chosen by the user
    Deep,      // a scan of the whole volume for file-system records
};

// The advanced road's choices: which found structure to start from and the geometry to assume.
struct AdvancedChoice {
    int candidate = -1;          // index into the candidate search's primary list
    int heap = -1;               // exFAT: index into the heap list (-1: the candidate's index)
    int sectorsPerCluster = 0;   // 0: the parser's own default
    bool driveFormatted = false; // "Is Drive Formated..?": read deleted data as consecutive clusters
};

struct ParseRequest {
    const VolumeEntry& volume;
    readWriteInterface& reader;
    ResultTree& tree;
    UiSink& sink;
    WorkerControl& control;
    ParseMode mode = ParseMode::Standard;
    AdvancedChoice advanced;
};

// A parse fails this way when its volume's root folder cannot be read: an empty listing would
// look like an empty volume.
inline constexpr const char* kRootUnreadable = "The root folder of this volume cannot be read: ";
inline constexpr const char* kTryDeepOrAdvanced = "try the Deep or Advanced mode.";

struct ParseResult {
    std::unique_ptr<EntryAdapter> adapter;  // owns the parser; set when a parser ran
    bool completed = false;                 // the parse ran to its end
    std::string failure;                    // why there is no result
    // Metadata that could not be read (nodes, records, directory clusters): the listing may
    // miss entries. Non-zero makes the command line exit with 3.
    uint64_t unreadableMetadata = 0;
};

// One structure the advanced search found ("MFT_ENTRY:3", "FAT32_ENTRY:0", ...).
struct Candidate {
    int index = 0;
    std::string label;
    uint64_t offset = 0;  // bytes from the volume's start
};

struct CandidateSearch {
    std::vector<Candidate> primary;  // MFT or FAT copies
    std::vector<Candidate> heap;     // exFAT: the cluster heap starts
    std::vector<std::string> messages;
    bool completed = false;
};

struct ModeOffer {
    bool standard = true;
    bool advanced = false;
    bool deep = false;
    bool formattedBox = false;  // "Is Drive Formated..?" goes with Advanced
};

// Where a probe looks: at the start of a volume a table or the medium gives (lenient), or at
// every sector of the whole-drive scan (strict: random data must not read as a volume).
enum class ProbeUse { VolumeStart, EverySector };

// What a kind recognises in one 512-byte sector: its boot record, superblock or volume header.
struct ProbeMatch {
    std::string label;           // the volume's label ("NTFS", "FAT32", "extX", ...); empty: none
    uint64_t sectors = 0;        // the volume's length in 512-byte sectors as the structure gives it
    uint64_t sectorsBefore = 0;  // the volume starts this many sectors before the probed sector
};

struct FileSystemKind {
    std::string id;                   // short name used by tests and tools ("hfsplus", "ntfs", ...)
    std::vector<std::string> labels;  // labels it answers to, compared without case
    ModeOffer modes;
    bool marksDeleted = false;        // the file list shows a deleted mark (HFS+ has none)
    std::string startStatus;          // the status line at the start of a parse; may be empty
    // The end of a completed parse: the recycle-bin name restoration, and the message
    // "Scanning processing done.Select save button to save the data." (also the status line).
    bool restoresRecycleBin = false;
    bool showsDoneMessage = true;
    int treatAsPlace = 0;             // "Treat file system as:" offers its first label at this
                                      // place (1 first); 0: not offered
    // Recognises the kind's structure in one sector (null: the kind is never found by itself).
    ProbeMatch (*probe)(const uint8_t* sector, ProbeUse use) = nullptr;
    ParseResult (*parse)(const ParseRequest&) = nullptr;
    // The advanced road's search for copies of the key structures; null when it has none.
    CandidateSearch (*findCandidates)(const ParseRequest&, int maxCandidates) = nullptr;
};

// Every file system, in the scan page's dispatch order.
const std::vector<FileSystemKind>& fileSystemKinds();
// The kind a volume label dispatches to, or null ("not a valid drive.").
const FileSystemKind* findFileSystemKind(const std::string& label);
// The labels "Treat file system as:" offers, in their places (without "RAW").
std::vector<std::string> treatAsLabels();

}  // namespace quarvell
