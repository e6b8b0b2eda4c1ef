#include "scan/RecycleBinNames.h"

#include <cstring>
#include <map>

#include "common/Bytes.h"
#include "common/Utf.h"
#include "disk/SalvagingRead.h"
#include "disk/readWriteInterface.h"

namespace quarvell {

namespace {

// Collects what a producer writes, up to a limit.
class MemoryOutput final : public DataOutput {
public:
    MemoryOutput(readWriteInterface* source, size_t limit) : source_(source), limit_(limit) {}
    bool putBytes(const uint8_t* data, uint64_t count) override {
        if (count > limit_ - bytes.size()) return false;
        bytes.insert(bytes.end(), data, data + count);
        return true;
    }
    bool putRun(const DataRun& run) override {
        if (run.length > limit_ - bytes.size()) return false;
        if (run.kind != DataRun::Kind::Volume) {
            if (run.kind == DataRun::Kind::PastVolume) lost = true;
            bytes.resize(bytes.size() + run.length, 0);
            return true;
        }
        std::vector<uint8_t> buf(run.length);
        if (readVolume(run.offset, buf.data(), uint32_t(buf.size())) > 0) lost = true;
        return putBytes(buf.data(), buf.size());
    }
    bool putUnreadable(uint64_t count) override {
        lost = true;
        if (count > limit_ - bytes.size()) return false;
        bytes.resize(bytes.size() + count, 0);
        return true;
    }
    uint64_t readVolume(uint64_t offset, uint8_t* buffer, uint32_t count) override {
        if (!source_ || offset > uint64_t(INT64_MAX) - count) {
            std::memset(buffer, 0, count);
            return count;
        }
        return readSalvaging(*source_, int64_t(offset), buffer, count);
    }
    std::vector<uint8_t> bytes;
    bool lost = false;

private:
    readWriteInterface* source_;
    size_t limit_;
};

bool isRecycleBinName(const std::string& name) { return name == "$RECYCLE.BIN" || name == "$RECYCLEBIN"; }

}  // namespace

std::optional<std::vector<uint8_t>> readSmallFile(const FileData& data, size_t limit) {
    if (!data.unsupported.empty() || data.size > limit) return std::nullopt;
    if (data.resident) {
        if (data.resident->size() < data.size) return std::nullopt;
        return std::vector<uint8_t>(data.resident->begin(), data.resident->begin() + ptrdiff_t(data.size));
    }
    MemoryOutput out(data.source, size_t(data.size));
    if (data.produce) {
        if (!data.produce(out)) return std::nullopt;
    } else {
        for (const DataRun& run : data.runs) {
            if (out.bytes.size() >= data.size) break;
            DataRun cut = run;
            cut.length = std::min<uint64_t>(run.length, data.size - out.bytes.size());
            if (!out.putRun(cut)) return std::nullopt;
        }
    }
    if (out.lost || out.bytes.size() != data.size) return std::nullopt;
    return std::move(out.bytes);
}

std::optional<std::string> formerNameFromIndexRecord(const std::vector<uint8_t>& r) {
    if (r.size() < 26) return std::nullopt;
    size_t start = 24, units = (r.size() - 24) / 2;
    if (le64(r.data()) == 2) {
        if (r.size() < 28) return std::nullopt;
        start = 28;
        units = std::min<size_t>(le32(r.data() + 24), (r.size() - 28) / 2);
    }
    size_t n = 0;
    while (n < units && le16(r.data() + start + 2 * n) != 0) ++n;
    std::string path = utf16leToUtf8(r.data() + start, n);
    const size_t cut = path.find_last_of('\\');
    std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
    if (name.empty()) return std::nullopt;
    return name;
}

size_t restoreRecycleBinNames(ResultTree& tree, EntryAdapter& adapter) {
    size_t restored = 0;
    const TreeItem root = tree.rootItem();
    if (root == kNoItem) return 0;
    for (TreeItem c = tree.firstChild(root); c != kNoItem; c = tree.nextSibling(c)) {
        const EntryKey bin = tree.itemData(c);
        if (tree.itemImage(c) != kIconFolder || !isRecycleBinName(tree.itemText(c)) || !adapter.isFolder(bin)) continue;
        for (EntryKey user : adapter.children(bin)) {
            if (!adapter.isFolder(user)) continue;
            const std::vector<EntryKey> files = adapter.children(user);
            std::map<std::string, std::string> formerNames;
            for (EntryKey f : files) {
                const std::string name = adapter.name(f);
                if (name.compare(0, 2, "$I") != 0 || adapter.isFolder(f)) continue;
                const auto bytes = readSmallFile(adapter.fileData(f), kMaxRecycleIndexBytes);
                if (!bytes) continue;
                if (auto former = formerNameFromIndexRecord(*bytes)) formerNames[name] = *former;
            }
            for (const auto& [indexName, former] : formerNames) {
                const std::string partner = "$R" + indexName.substr(2);
                for (EntryKey f : files)
                    if (adapter.name(f) == partner && adapter.restoreName(f, former)) ++restored;
            }
        }
    }
    return restored;
}

}  // namespace quarvell
