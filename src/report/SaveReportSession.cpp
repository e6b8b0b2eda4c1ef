#include "report/SaveReportSession.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "disk/FileReadSeek.h"
#include "disk/VolumeEntry.h"
#include "fs/OutputPath.h"
#include "raw/CarvedItem.h"
#include "scan/SaveWalk.h"

namespace quarvell {

ReportVolume reportVolumeOf(const VolumeEntry& volume) {
    return {uint64_t(std::max<int64_t>(volume.startSector, 0)) * 512, volume.lengthInBytes(), volume.fileSystem};
}

bool beginMediumReport(DfxmlReport& report, const std::string& path, const ReportCreator& creator,
                       const std::string& imagePath, const FileReadSeek* reader, const ReportVolume* volume) {
    const uint64_t imageSize = reader ? reader->mediumLength : 0;
    if (!report.begin(path, creator, {imagePath, imageSize, sourceFormatName(reader)})) return false;
    if (volume) report.beginVolume(*volume);
    return true;
}

std::unique_ptr<DfxmlReport> beginReportInFolder(const std::string& folder, int64_t now, const ReportCreator& creator,
                                                 const std::string& imagePath, const FileReadSeek* reader,
                                                 const ReportVolume* volume, std::string& path, std::string& problem) {
    path = freeReportPath(folder, now);
    if (path.empty()) {
        problem = "no free name for a report in " + folder;
        return nullptr;
    }
    auto report = std::make_unique<DfxmlReport>();
    if (!beginMediumReport(*report, path, creator, imagePath, reader, volume)) {
        problem = report->problem();
        return nullptr;
    }
    return report;
}

void reportEveryFile(SaveWalk& walk, DfxmlReport& report, const std::vector<std::string>& base) {
    walk.onFileDetail([&report, &base](const SavedFile& file) { report.addSaved(base, file); });
}

std::vector<std::string> reportNamesBelowTop(const ResultTree& tree, TreeItem item) {
    std::vector<std::string> names;
    // Bounded by the tree's own depth; a parent chain never loops in a tree, but the count keeps
    // a damaged one from holding the save.
    size_t steps = 0;
    for (TreeItem at = item; at != kNoItem && tree.parentItem(at) != kNoItem && steps < 100000;
         at = tree.parentItem(at), ++steps)
        names.insert(names.begin(), tree.itemText(at));
    return names;
}

void addCarvedItem(DfxmlReport& report, const std::string& name, const std::string& category,
                   const CarvedItem& item, int64_t origin, const SaveReport& saved) {
    if (item.start < 0 || item.length < 0 || origin < 0) return;
    report.addCarved(name, category, uint64_t(origin) + uint64_t(item.start), uint64_t(item.start),
                     uint64_t(item.length), saved);
}

ReportOutcome saveOutcome(const SaveTotals& totals, bool stopped, uint64_t unreadableMetadata) {
    if (stopped) return ReportOutcome::Stopped;
    if (totals.filesFailed > 0) return ReportOutcome::Failed;
    if (totals.filesIncomplete > 0 || unreadableMetadata > 0 || totals.leftOutTooDeep > 0 || totals.leftOutCycles > 0)
        return ReportOutcome::Incomplete;
    return ReportOutcome::Complete;
}

std::string freeReportPath(const std::string& folder, int64_t now) {
    const time_t t = time_t(now);
    struct tm parts {};
    if (!localtime_r(&t, &parts)) return {};
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    const std::string prefix = childPath(folder.empty() ? "." : folder, std::string("quarvell-report-") + stamp);
    for (int n = 1; n <= 1000; ++n) {
        const std::string path = prefix + (n == 1 ? std::string() : "-" + std::to_string(n)) + ".xml";
        struct stat st;
        // Any entry of that name, a dangling link included, keeps the name taken.
        if (::lstat(path.c_str(), &st) != 0) return path;
    }
    return {};
}

}  // namespace quarvell
