#pragma once
// What every DFXML report of a save shares, wherever the save is started (the command line's
// recover and carve, the desktop's scan and raw pages): the report begun on the medium and its
// volume, the save walk's files fed to it under the names of the folder saved, the outcome the
// totals give, and a free name for a report written beside the saved files.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "controls/ResultTree.h"
#include "report/DfxmlReport.h"

namespace quarvell {

class FileReadSeek;
class SaveWalk;
struct CarvedItem;
struct SaveReport;
struct SaveTotals;
struct VolumeEntry;

// The volume as a report gives it: its first byte, its length and its file system's label.
ReportVolume reportVolumeOf(const VolumeEntry& volume);

// Begins `report` at path with the medium read (its path, size and container format from
// reader) and, when volume is given, the volume the files belong to. False as
// DfxmlReport::begin (see report.problem()).
bool beginMediumReport(DfxmlReport& report, const std::string& path, const ReportCreator& creator,
                       const std::string& imagePath, const FileReadSeek* reader, const ReportVolume* volume);

// A report begun under a free name in folder (see freeReportPath; `now` in seconds since 1970),
// its path in `path`; null with the reason in `problem` when no name is free or it cannot begin.
std::unique_ptr<DfxmlReport> beginReportInFolder(const std::string& folder, int64_t now, const ReportCreator& creator,
                                                 const std::string& imagePath, const FileReadSeek* reader,
                                                 const ReportVolume* volume, std::string& path, std::string& problem);

// Every file walk tries from now on goes into report, its names continuing the names `base`
// holds at that moment (base is read, not copied: a caller saving several items sets it before
// each). Both walk and base must outlive the walk's saves.
void reportEveryFile(SaveWalk& walk, DfxmlReport& report, const std::vector<std::string>& base);

// The item texts from below the tree's top item down to item (the top item itself gives none):
// the names a report's file names continue when item is the folder saved.
std::vector<std::string> reportNamesBelowTop(const ResultTree& tree, TreeItem item);

// A carved file saved from the range the item names, `origin` being the carved range's first
// byte on the image; items with a negative start or length are not reported.
void addCarvedItem(DfxmlReport& report, const std::string& name, const std::string& category,
                   const CarvedItem& item, int64_t origin, const SaveReport& saved);

// How a save ended: stopped, failed (some file left unsaved), incomplete (some file saved with
// zeros for bytes that could not be read, or metadata that could not be read), else complete.
ReportOutcome saveOutcome(const SaveTotals& totals, bool stopped, uint64_t unreadableMetadata = 0);

// A report name in folder that no entry has yet: quarvell-report-YYYYMMDD-HHMMSS.xml of the
// local time `now` (seconds since 1970), with -2, -3, ... before ".xml" while a name is taken.
// Empty when none of the first 1000 names is free.
std::string freeReportPath(const std::string& folder, int64_t now);

}  // namespace quarvell
