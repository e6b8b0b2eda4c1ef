#pragma once
// The file search: every file of the parsed volume whose name contains a match of a
// case-insensitive regular expression (matched in bounded time per name), walked through the
// parser's entries so that folders never opened in the tree are searched too.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/UiSink.h"
#include "common/WorkerControl.h"
#include "controls/ResultTree.h"
#include "fs/EntryAdapter.h"
#include "scan/NamePattern.h"

namespace quarvell {

inline constexpr const char* kInvalidPatternText =
    "such characters are not allowed for search.Try again with different pattern.";

struct SearchRow {
    std::vector<std::string> path;  // "ROOT", the top-level item, the folders, the file's name
    EntryKey entry = kNoData;
    EntryTexts texts;
    std::string size;

    // The list's first column: the path parts joined with "\".
    std::string displayPath() const;
};

class FileSearch {
public:
    FileSearch(const ResultTree& tree, const EntryAdapter& adapter, UiSink& sink, WorkerControl& control)
        : tree_(tree), adapter_(adapter), sink_(sink), control_(control) {}

    // The compiled pattern, or nothing when it is not a valid expression.
    static std::optional<NamePattern> compile(const std::string& pattern) { return NamePattern::compile(pattern); }

    enum class Outcome { Finished, InvalidPattern };
    // Runs the search; every hit is handed to onRow in walk order. An invalid pattern is
    // reported before anything is walked and ends the search without "Searching Finished".
    Outcome run(const std::string& pattern, const std::function<void(const SearchRow&)>& onRow);

    uint64_t hits() const { return hits_; }
    // Names the pattern could not be decided on within its match limit (counted as no match).
    uint64_t tooComplex() const { return tooComplex_; }
    // Folders not searched: below the folder-depth cap, or met again inside themselves.
    uint64_t leftOutTooDeep() const { return leftOutTooDeep_; }
    uint64_t leftOutLoops() const { return leftOutLoops_; }

private:
    void searchFolder(EntryKey folder, std::vector<std::string>& path, std::vector<EntryKey>& onPath);
    void addRow(EntryKey entry, const std::vector<std::string>& folderPath, const std::string& name);

    const ResultTree& tree_;
    const EntryAdapter& adapter_;
    UiSink& sink_;
    WorkerControl& control_;
    std::optional<NamePattern> expression_;
    const std::function<void(const SearchRow&)>* onRow_ = nullptr;
    uint64_t hits_ = 0;
    uint64_t tooComplex_ = 0;
    uint64_t leftOutTooDeep_ = 0;
    uint64_t leftOutLoops_ = 0;
};

}  // namespace quarvell
