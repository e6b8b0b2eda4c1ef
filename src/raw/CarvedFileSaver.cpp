#include "raw/CarvedFileSaver.h"

#include "common/WorkerControl.h"
#include "fs/FileData.h"
#include "fs/RunWriter.h"

namespace quarvell {

CarvedSaveResult CarvedFileSaver::save(readWriteInterface& reader, const std::string& folder, const std::string& name,
                                       int64_t start, int64_t length, WorkerControl& control, bool computeSha256) {
    CarvedSaveResult result;
    if (start < 0 || length < 0) {
        result.error = "cannot save " + name + ": no such range on the medium";
        return result;
    }
    FileData data;
    data.source = &reader;
    data.size = uint64_t(length);
    if (length > 0) data.runs.push_back({DataRun::Kind::Volume, uint64_t(start), uint64_t(length)});
    RunWriter writer(control, computeSha256);
    const SaveReport report = writer.save(data, folder, name);
    result.report = report;
    result.ok = report.saved();
    result.path = report.outputPath;
    result.unreadableBytes = int64_t(report.unreadableBytes);
    result.sha256 = report.sha256;
    if (!result.ok) result.error = "cannot save " + name + ": " + report.problem;
    return result;
}

CarvedSaveResult CarvedFileSaver::save(readWriteInterface& reader, const std::string& folder, const std::string& name,
                                       int64_t start, int64_t length) {
    WorkerControl control;
    return save(reader, folder, name, start, length, control);
}

}  // namespace quarvell
