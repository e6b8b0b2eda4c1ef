#include "partition/VolumeListModel.h"

#include <climits>

#include "common/TextFormat.h"
#include "fs/FileSystemKind.h"

namespace quarvell {

namespace {

std::string withoutMb(const std::string& sizeText) {
    std::string out;
    for (size_t i = 0; i < sizeText.size(); ++i) {
        if (sizeText.compare(i, 2, "MB") == 0) {
            ++i;
            continue;
        }
        out += sizeText[i];
    }
    return trim(out);
}

}  // namespace

std::string VolumeRow::startSectorText() const { return format("%lld", static_cast<long long>(shown.startSector)); }

void VolumeListModel::insertRow(const VolumeEntry& entry, bool atTop) {
    VolumeRow row{entry, entry};
    if (atTop)
        rows_.insert(rows_.begin(), row);
    else
        rows_.push_back(row);
}

void VolumeListModel::showStandardResults(std::vector<VolumeEntry> found) {
    volumes_ = std::move(found);
    rows_.clear();
    for (size_t i = 0; i < volumes_.size(); ++i) {
        volumes_[i].volumeName = format("%zu", i);
        insertRow(volumes_[i], false);
    }
}

void VolumeListModel::addFound(const VolumeEntry& found) {
    volumes_.push_back(found);
    insertRow(found, true);
}

int VolumeListModel::addCustomVolume() {
    VolumeEntry custom;
    custom.volumeName = format("%zu", volumes_.size());
    custom.fileSystem = "CUSTOM ";
    custom.sizeText = "0";
    custom.startSector = 0;
    volumes_.push_back(custom);
    const bool atTop = mode_ == ScanMode::Advanced;
    insertRow(custom, atTop);
    return atTop ? 0 : int(rows_.size()) - 1;
}

void VolumeListModel::filter() {
    rows_.clear();
    for (size_t i = 1; i < volumes_.size(); ++i) {
        if (volumes_[i].startSector != volumes_[i - 1].startSector + 1) continue;
        volumes_[i].volumeName = format("%zu", i);
        insertRow(volumes_[i], true);
    }
}

NextOutcome VolumeListModel::next(const NextChoice& choice) {
    NextOutcome out;
    if (choice.row < 0 || choice.row >= int(rows_.size())) {
        out.message = "please select a valid volume.";
        return out;
    }
    VolumeRow& row = rows_[size_t(choice.row)];
    VolumeEntry& record = row.record;

    if (!choice.customTicked && customEdited_) {
        // An earlier custom Next rewrote the record: take it back from what the row shows.
        record.volumeName = row.shown.volumeName;
        record.fileSystem = row.shown.fileSystem;
        record.sizeText = withoutMb(row.shown.sizeText);
        record.startSector = row.shown.startSector;
        record.sectorCount = row.shown.sectorCount;
    }

    std::string treatAs;
    if (choice.customTicked) {
        customEdited_ = true;
        const int64_t start = leadingNumber(choice.startText);
        const int64_t end = leadingNumber(choice.endText);
        record.startSector = start;
        const bool ranged = end > start;
        record.sizeText = format("%lld", ranged ? static_cast<long long>((end - start + 1) / 2048) : 0LL);
        record.sectorCount = ranged ? uint64_t(end - start + 1) : 0;
        treatAs = choice.treatAsText;
        for (const std::string& label : treatAsLabels())
            if (equalsNoCase(treatAs, label)) record.fileSystem = treatAs;
    }

    if (equalsNoCase(treatAs, "RAW")) {
        customEdited_ = true;
        record.fileSystem = "RAW";
        out.target = NextTarget::RawPage;
    } else if (equalsNoCase(record.fileSystem, "unknown")) {
        out.message = "can not parse unknown volume";
    } else {
        out.target = NextTarget::ModePage;
    }
    out.selected = record;
    return out;
}

std::string VolumeListModel::endSectorText(const VolumeRow& row) {
    const int64_t mib = leadingNumber(row.shown.sizeText);
    if (mib <= 0) return "0";
    return format("%lld", static_cast<long long>(row.shown.startSector + mib * 2048 - 1));
}

std::string VolumeListModel::stepSectorText(const std::string& text, bool up) {
    int64_t n = leadingNumber(text);
    if (up && n < INT64_MAX) ++n;
    if (!up && n > 0) --n;
    return format("%lld", static_cast<long long>(n));
}

int VolumeListModel::treatAsIndexFor(const std::string& fileSystem, const std::vector<std::string>& items) {
    if (fileSystem.empty()) return -1;
    const std::string wanted = toLower(fileSystem);
    for (size_t i = 0; i < items.size(); ++i)
        if (toLower(items[i]).compare(0, wanted.size(), wanted) == 0) return int(i);
    return -1;
}

}  // namespace quarvell
