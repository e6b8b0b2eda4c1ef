// The texts of a FAT entry and its data as cluster runs.
#include <algorithm>
#include <ctime>
#include <optional>
#include <unordered_set>

#include "common/TextFormat.h"
#include "fs/fat/FatParser.h"

namespace quarvell {

namespace {

struct DosStamp {
    int year, month, day, hour, minute, second;
};

std::optional<DosStamp> dosStamp(uint16_t date, uint16_t time) {
    DosStamp s{1980 + (date >> 9), (date >> 5) & 15, date & 31, time >> 11, (time >> 5) & 63, (time & 31) * 2};
    if (s.month < 1 || s.month > 12 || s.day < 1 || s.hour > 23 || s.minute > 59 || s.second > 59)
        return std::nullopt;
    return s;
}

std::string stampText(uint16_t date, uint16_t time) {
    const auto s = dosStamp(date, time);
    if (!s) return {};
    std::tm t{};
    t.tm_year = s->year - 1900;
    t.tm_mon = s->month - 1;
    t.tm_mday = s->day;
    t.tm_hour = s->hour;
    t.tm_min = s->minute;
    return dateText(t);
}

// Days since 1970-01-01 of a civil date.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

// FAT keeps local times without a zone: they are taken as they stand.
std::optional<int64_t> stampSeconds(uint16_t date, uint16_t time) {
    const auto s = dosStamp(date, time);
    if (!s) return std::nullopt;
    return daysFromCivil(s->year, unsigned(s->month), unsigned(s->day)) * 86400 + s->hour * 3600 + s->minute * 60 +
           s->second;
}

}  // namespace

std::string FatParser::formatFatEntrySize(const FatEntry& e) const { return sizeText(e.size); }

EntryTexts FatParser::formatFatEntryTimes(const FatEntry& e) const {
    EntryTexts t;
    t.creation = stampText(e.creationDate, e.creationTime);
    if (const auto a = dosStamp(e.accessDate, 0)) t.access = format("%02d/%02d/%d ", a->month, a->day, a->year);
    t.modification = stampText(e.writeDate, e.writeTime);
    if (e.attribute & 0x01) t.attributes += "-R";
    if (e.attribute & 0x02) t.attributes += "-H";
    if (e.attribute & 0x04) t.attributes += "-S";
    if (e.attribute & 0x20) t.attributes += "-A";
    return t;
}

FileData FatParser::fatFileData(const FatEntry& e) const {
    FileData data;
    data.source = reader;
    data.size = e.size;
    data.endsAtAllocation = true;
    data.readUnit = 512;
    data.modificationTime = stampSeconds(e.writeDate, e.writeTime);
    data.accessTime = stampSeconds(e.accessDate, 0);
    if (e.isFolder() || e.index == kFatRootIndex) {
        data.unsupported = "not a file";
        return data;
    }
    if (e.size == 0) return data;
    if (clusterSize_ == 0) {
        data.runs.push_back({DataRun::Kind::PastVolume, 0, e.size});
        return data;
    }
    uint64_t remaining = e.size;
    auto addCluster = [&](uint32_t c) {
        const uint64_t len = std::min<uint64_t>(clusterSize_, remaining);
        const uint64_t off = uint64_t(c - 2) * clusterSize_ + dataStart_;
        remaining -= len;
        const bool inside = off + len <= volumeBytes_;
        DataRun::Kind kind = inside ? DataRun::Kind::Volume : DataRun::Kind::PastVolume;
        if (!data.runs.empty()) {
            DataRun& last = data.runs.back();
            if (last.kind == kind && (kind == DataRun::Kind::PastVolume || last.offset + last.length == off)) {
                last.length += len;
                return;
            }
        }
        data.runs.push_back({kind, inside ? off : 0, len});
    };
    uint32_t c = e.firstCluster;
    if (c >= 2 && c < clusterLimit_) {
        const bool fromFree = (e.deleted || e.insideDeleted) && !driveFormatted && clusterFree(c);
        if (driveFormatted || fromFree) {
            // Consecutive clusters; a deleted file skips the ones a live chain uses.
            for (; remaining > 0 && c < clusterLimit_; ++c) {
                if (fromFree && c != e.firstCluster && !clusterFree(c)) continue;
                addCluster(c);
            }
        } else {
            std::unordered_set<uint32_t> seen;
            for (; remaining > 0 && c != 0; c = nextFatCluster(c)) {
                if (!seen.insert(c).second) break;  // a looping chain
                addCluster(c);
            }
        }
    }
    if (remaining > 0) data.runs.push_back({DataRun::Kind::PastVolume, 0, remaining});
    return data;
}

}  // namespace quarvell
