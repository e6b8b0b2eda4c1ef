#pragma once
// Runs the parse of one volume with the parser its file-system label dispatches to, on the
// caller's thread, filling a result tree; the scan page and the command line both use it.
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "controls/ResultTree.h"
#include "partition/VolumeEntry.h"
#include "scan/EntryAdapter.h"

namespace quarvell {

class readWriteInterface;
class UiSink;
class PauseGate;

inline constexpr int kParseStandard = 1;  // from the file system's own metadata
inline constexpr int kParseDeep = 3;      // a scan of the whole volume

struct ParsedVolume {
    std::shared_ptr<void> parser;            // keeps the parser, and so the entries, alive
    std::unique_ptr<EntryAdapter> adapter;   // set when a parser ran
    bool completed = false;                  // the parse ran to its end ("Work Done.")
    std::string failure;                     // why there is no result
};

// Handed the chosen parser's stop flag before its parse starts, so that Stop can reach it.
using StopFlagReady = std::function<void(std::atomic<bool>& cancelRequested)>;

// Dispatches on the label, compared without regard to case, in the scan page's order: "ntfs",
// "fat32", "fat16", "fat", "extX", "fat64", "exFat", "HFS+".
ParsedVolume parseVolume(const VolumeEntry& volume, readWriteInterface& reader, ResultTree& tree, UiSink& sink,
                         int parseMode, PauseGate* gate = nullptr, const StopFlagReady& onStopFlag = {});

}  // namespace quarvell
