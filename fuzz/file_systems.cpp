// Fuzz target over every file system of the table: the first byte picks the mode, a volume
// label ended by a NUL byte picks the kind (a label that no kind answers to picks one by its
// length), and the rest describes the volume sparsely (SparseMedium.h), so that inputs stay
// small. The whole parse runs, every folder is opened, every text asked for, and the data of
// the first files is written through the run writer into a scratch folder. Seeds are the
// fixture images of every kind, their zero sectors left out (scripts/fuzz-seeds.sh).
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "SparseMedium.h"
#include "common/UiSink.h"
#include "controls/MemoryTree.h"
#include "fs/FileSystemKind.h"
#include "fs/RunWriter.h"
#include "scan/FileCount.h"
#include "scan/LazyTree.h"
#include "scan/VolumeParse.h"

namespace {

const std::string& scratchFolder() {
    static const std::string folder = [] {
        std::string pattern = "/tmp/quarvell-fuzz-XXXXXX";
        return std::string(::mkdtemp(pattern.data()));
    }();
    return folder;
}

void visit(quarvell::ResultTree& tree, quarvell::EntryAdapter& adapter, quarvell::TreeItem folder, int& saves,
           int depth) {
    using namespace quarvell;
    if (depth > 64) return;
    expandFolder(tree, adapter, folder, true);
    for (TreeItem c = tree.firstChild(folder); c != kNoItem; c = tree.nextSibling(c)) {
        const EntryKey key = tree.itemData(c);
        adapter.sizeText(key);
        adapter.texts(key);
        if (adapter.isFolder(key)) {
            countFiles(adapter, key);
            visit(tree, adapter, c, saves, depth + 1);
        } else if (saves-- > 0) {
            WorkerControl control;
            SaveReport r = RunWriter(control).save(adapter.fileData(key), scratchFolder(), "f");
            if (r.saved()) ::unlink(r.outputPath.c_str());
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quarvell;
    if (size < 2) return 0;
    const ParseMode modes[] = {ParseMode::Standard, ParseMode::Deep, ParseMode::Advanced};
    const ParseMode mode = modes[data[0] % 3];
    const auto* end = static_cast<const uint8_t*>(std::memchr(data + 1, 0, std::min<size_t>(size - 1, 16)));
    if (!end) return 0;
    const std::string label(reinterpret_cast<const char*>(data + 1), size_t(end - data - 1));
    const auto& kinds = fileSystemKinds();
    const FileSystemKind* found = findFileSystemKind(label);
    const FileSystemKind& kind = found ? *found : kinds[label.size() % kinds.size()];
    if ((mode == ParseMode::Deep && !kind.modes.deep) || (mode == ParseMode::Advanced && !kind.modes.advanced))
        return 0;
    const size_t header = size_t(end - data) + 1;
    fuzzing::SparseMedium reader(data + header, size - header);
    MemoryTree tree;
    NullSink sink;
    WorkerControl control;
    VolumeEntry volume;
    volume.fileSystem = kind.labels.front();
    volume.sectorCount = reader.mediumLength / 512;
    ParseRequest request{volume, reader, tree, sink, control, mode, {}};
    if (mode == ParseMode::Advanced) {
        CandidateSearch candidates = kind.findCandidates(request, 3);
        if (candidates.primary.empty()) return 0;
        request.advanced.candidate = 0;
        request.advanced.heap = candidates.heap.empty() ? -1 : 0;
    }
    ParseResult parsed = parseVolume(request);
    if (!parsed.adapter) return 0;
    int saves = 8;
    for (TreeItem top = tree.rootItem(); top != kNoItem; top = tree.nextSibling(top))
        visit(tree, *parsed.adapter, top, saves, 0);
    return 0;
}
