// Fuzzes the structure walkers: the input's first byte picks a walker, the rest is the medium,
// walked from offset 0 with an approximate size from the second byte. Any result must stay
// inside the medium and the limit.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "FaultyReader.h"
#include "raw/walkers/Walker.h"

using namespace quarvell;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    size_t count = 0;
    const Walker* walkers = allWalkers(count);
    const Walker& walker = walkers[data[0] % count];
    const int64_t approximate = data[1] < 128 ? 0 : int64_t(data[1]) * 4096;
    testing::FaultyReader reader(std::vector<uint8_t>(data + 2, data + size));
    const int64_t medium = int64_t(reader.data.size());
    if (medium == 0) return 0;
    WalkSource src(reader, medium);
    const WalkResult r = walkFile(walker, src, 0, approximate);
    const int64_t limit = approximate > 0 ? std::min(approximate, medium) : medium;
    if (r.end == WalkEnd::Exact && (r.length <= 0 || r.length > limit)) std::abort();
    if (r.end == WalkEnd::Truncated && r.length != medium) std::abort();
    if (src.limit() != medium) std::abort();
    return 0;
}
