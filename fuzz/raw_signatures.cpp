// Fuzzes the settings-file loader, the byte matcher and the carving engine: the input's first
// byte says how many 171-byte records form a settings file, the rest is the medium carved.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FaultyReader.h"
#include "controls/MemoryTree.h"
#include "raw/SignatureLoader.h"

using namespace quarvell;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t wanted = size_t(data[0] % 6) * 171 + (data[0] >= 250 ? data[0] - 250 : 0);  // sometimes ragged
    const size_t fileBytes = std::min(wanted, size - 1);
    static const std::string path = "/tmp/fuzz_raw_signatures_" + std::to_string(::getpid());
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data + 1, 1, fileBytes, f);
    std::fclose(f);

    SignatureLoader loader;
    if (!loader.loadSignatureFile(path)) return 0;
    myJpg& engine = *loader.engine;
    testing::FaultyReader reader(std::vector<uint8_t>(data + 1 + fileBytes, data + size));
    MemoryTree tree;
    engine.reader = &reader;
    engine.tree = &tree;
    engine.mediumSize = int64_t(reader.data.size());
    if (!engine.carve()) std::abort();

    // The index the scan uses must agree with the table at every sector start.
    SignatureMatcher matcher;
    matcher.build(engine.matchEntries);
    for (size_t p = 0; p < reader.data.size(); p += 512) {
        size_t avail = std::min<size_t>(10, reader.data.size() - p);
        uint8_t window[10] = {};
        std::copy_n(reader.data.data() + p, avail, window);
        MatchResult full = matcher.matchAt(window, avail);
        if (matcher.headerAt(window, avail) != (full.kind == 'S' ? full.number : -1)) std::abort();
    }
    for (const CarvedItem& c : engine.carvedItems) {
        if (c.start < 0 || c.start % 512 != 0 || c.length < 0 || c.start + c.length > engine.mediumSize) std::abort();
        if (engine.carvedName(size_t(&c - engine.carvedItems.data())).empty()) std::abort();
    }
    return 0;
}
