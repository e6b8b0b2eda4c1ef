#pragma once
// The volume list of a drive: the found and added records, the rows shown for them, and the
// decisions behind the list's buttons (custom volume, filter, spin steps, Next). No widgets here,
// so every rule is testable on its own; the page only mirrors rows() into its list control.
#include <cstdint>
#include <string>
#include <vector>

#include "disk/VolumeEntry.h"

namespace quarvell {

enum class ScanMode : int { Standard = 1, Advanced = 2 };

// One row of the list: the texts it shows (as they were when the row was made) and the record it
// stands for, which Next may rewrite. Each row owns its record, so no row ever refers into
// `volumes`, whatever is appended to it later.
struct VolumeRow {
    VolumeEntry shown;
    VolumeEntry record;
    std::string startSectorText() const;
};

enum class NextTarget { None, ModePage, RawPage };

struct NextChoice {
    int row = -1;              // selected row, -1 for none
    bool customTicked = false; // the custom-settings box
    std::string startText;     // the custom start and end edits
    std::string endText;
    std::string treatAsText;   // the "Treat file system as:" combo
};

struct NextOutcome {
    NextTarget target = NextTarget::None;
    std::string message;       // shown when target is None
    VolumeEntry selected;      // the record handed on
};

class VolumeListModel {
public:
    explicit VolumeListModel(ScanMode mode) : mode_(mode) {}

    ScanMode mode() const { return mode_; }
    const std::vector<VolumeRow>& rows() const { return rows_; }
    const std::vector<VolumeEntry>& volumes() const { return volumes_; }
    bool customEdited() const { return customEdited_; }

    // After a standard scan: every record is numbered by its index and listed top to bottom.
    void showStandardResults(std::vector<VolumeEntry> found);
    // One find of the advanced scan: kept, and listed at the top.
    void addFound(const VolumeEntry& found);
    // Appends a "CUSTOM " record of size 0 at sector 0; returns the index of its new row.
    int addCustomVolume();
    // Keeps rows only for records that start one sector after the record before them.
    void filter();
    // Next: checks the selection, applies the custom settings to the selected record, and says
    // where the wizard goes on.
    NextOutcome next(const NextChoice& choice);

    // The "End Sector :" text for a row: its last sector, from the leading MiB of its size text;
    // "0" when that size is not positive.
    static std::string endSectorText(const VolumeRow& row);
    // One spin step of a sector edit: up adds one; down subtracts one while the number is above 0.
    static std::string stepSectorText(const std::string& text, bool up);
    // The combo item whose text begins with the row's file-system text (ignoring case); -1 if none.
    static int treatAsIndexFor(const std::string& fileSystem, const std::vector<std::string>& items);

private:
    void insertRow(const VolumeEntry& entry, bool atTop);

    ScanMode mode_;
    std::vector<VolumeEntry> volumes_;
    std::vector<VolumeRow> rows_;
    bool customEdited_ = false;
};

}  // namespace quarvell
