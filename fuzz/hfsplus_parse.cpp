// Fuzz target: the whole HFS+ parse of an arbitrary volume, in both modes, then every folder
// opened, every text asked for and the data of the first files saved to a scratch file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FaultyReader.h"
#include "common/UiSink.h"
#include "controls/MemoryTree.h"
#include "scan/FileCount.h"
#include "scan/LazyTree.h"
#include "scan/VolumeParse.h"

namespace {

void visit(quarvell::ResultTree& tree, quarvell::EntryAdapter& adapter, quarvell::TreeItem folder, int& saves) {
    using namespace quarvell;
    expandFolder(tree, adapter, folder, true);
    for (TreeItem c = tree.firstChild(folder); c != kNoItem; c = tree.nextSibling(c)) {
        const EntryKey key = tree.itemData(c);
        adapter.sizeText(key);
        adapter.texts(key);
        if (adapter.isFolder(key)) {
            countFiles(adapter, key);
            visit(tree, adapter, c, saves);
        } else if (saves-- > 0) {
            const std::string target = "/tmp/quarvell-fuzz-hfsplus-" + std::to_string(::getpid());
            ::unlink(target.c_str());
            adapter.saveFile(key, target);
            ::unlink(target.c_str());
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quarvell;
    for (int mode : {kParseStandard, kParseDeep}) {
        testing::FaultyReader reader(std::vector<uint8_t>(data, data + size));
        MemoryTree tree;
        NullSink sink;
        VolumeEntry volume;
        volume.fileSystem = "HFS+";
        volume.sectorCount = (size + 511) / 512;
        ParsedVolume parsed = parseVolume(volume, reader, tree, sink, mode);
        if (!parsed.adapter) continue;
        int saves = 8;
        for (TreeItem top = tree.rootItem(); top != kNoItem; top = tree.nextSibling(top))
            visit(tree, *parsed.adapter, top, saves);
    }
    return 0;
}
