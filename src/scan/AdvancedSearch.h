#pragma once
// The advanced road's search as the advanced-options page runs it: the kind's candidate search,
// the cluster-size choices (the boot sector's own value first when it can still be read), the
// closing message, and the way a chosen cluster-size item becomes the parse's sectors per cluster.
#include <string>
#include <vector>

#include "fs/FileSystemKind.h"

namespace quarvell {

// What the page shows for a kind before the search starts.
struct AdvancedSearchLayout {
    std::string entriesLabel;  // the label of the candidate list
    bool heapList = false;     // exFAT: the heap-offset list is shown too
    std::string startStatus;   // the status line when the search starts (may be empty)
};

struct AdvancedSearchOutcome {
    CandidateSearch found;
    std::vector<std::string> clusterItems;  // in the order the list shows them
    std::string message;                    // the closing message box
    std::string doneStatus;                 // the status line after it
    std::vector<std::string> notes;         // other things the search had to say
};

// The kind the advanced road runs for a volume label, or null when the label has none.
const FileSystemKind* advancedSearchKind(const std::string& label);
AdvancedSearchLayout advancedSearchLayout(const FileSystemKind& kind);
// Runs on the worker. wanted below 1 means 3.
AdvancedSearchOutcome runAdvancedSearch(const FileSystemKind& kind, const ParseRequest& request, int wanted);
// The sectors per cluster a cluster-size item stands for (exFAT lists shifts); 0 when the item
// is not a number.
int sectorsPerClusterOf(const FileSystemKind& kind, const std::string& item);

}  // namespace quarvell
