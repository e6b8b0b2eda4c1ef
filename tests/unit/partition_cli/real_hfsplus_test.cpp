// A real HFS+ volume made by macOS, twice, in two GPT partitions back to back on a disk built
// here: the GPT scan calls both "HFS+" by their volume headers, and the whole-drive scan finds
// each header (and, without skipping, each alternate copy 1024 bytes before a volume's end).
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "CliRun.h"
#include "GptImage.h"

namespace quarvell::testing {
namespace {

const char* const kRealVolume = QUARVELL_SOURCE_DIR "/../shared/fixtures/real/hfsplus.raw";
constexpr uint64_t kStart = 2048;

uint32_t be32(const std::vector<uint8_t>& d, size_t at) {
    return uint32_t(d[at]) << 24 | uint32_t(d[at + 1]) << 16 | uint32_t(d[at + 2]) << 8 | d[at + 3];
}

// A disk with two HFS+ partitions, each holding `volume`, the second right after the first.
std::string writeDisk(const std::vector<uint8_t>& volume, uint64_t volumeSectors) {
    GptImage disk(kStart + 2 * volumeSectors + 2048);
    disk.add({kStart, kStart + volumeSectors - 1, "Mac data"});
    disk.add({kStart + volumeSectors, kStart + 2 * volumeSectors - 1, "Mac backup"});
    disk.put(kStart, volume);
    disk.put(kStart + volumeSectors, volume);
    const std::string path = scratchDir() + "/real-hfsplus-disk.img";
    disk.write(path);
    return path;
}

std::vector<std::string> rows(const std::vector<std::string>& args) {
    const CliResult run = runCli(args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> out;
    for (const auto& row : JsonValue::parse(run.out).items)
        out.push_back(row["fileSystem"].text + " | " + row["sizeText"].text + " | " + row["startSector"].text +
                      " | " + row["sectorCount"].text);
    return out;
}

TEST(RealHfsPlus, FoundByItsVolumeHeaderInBothScans) {
    if (!std::filesystem::exists(kRealVolume)) GTEST_SKIP() << "no real HFS+ volume at " << kRealVolume;
    std::ifstream in(kRealVolume, std::ios::binary);
    std::vector<uint8_t> volume((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GE(volume.size(), 1536u);
    ASSERT_EQ(volume[1024], 'H');
    // The volume's length as its header gives it: block size times total blocks.
    const uint64_t bytes = uint64_t(be32(volume, 1024 + 40)) * be32(volume, 1024 + 44);
    ASSERT_EQ(bytes % 512, 0u);
    ASSERT_LE(bytes, volume.size());
    const uint64_t sectors = bytes / 512;
    const std::string disk = writeDisk(volume, sectors);

    const std::string second = std::to_string(kStart + sectors);
    const std::string table = "HFS+ | " + std::to_string((sectors - 1) / 2048) + " | ";
    const std::string count = " | " + std::to_string(sectors);
    EXPECT_EQ(rows({"partitions", disk, "--gpt", "--json"}),
              std::vector<std::string>({table + "2048" + count, table + second + count}));

    const std::string found = "HFS+ | " + std::to_string(bytes / 1048576) + "  MB | ";
    // Skipping goes on right after the first volume, where the second one starts.
    EXPECT_EQ(rows({"partitions", disk, "--advanced", "--json"}),
              std::vector<std::string>({found + "2048" + count, found + second + count}));
    // An alternate header sits in its volume's last sector but one; a find is dated back 1024
    // bytes from the header, so it lands four sectors before the volume's end.
    EXPECT_EQ(rows({"partitions", disk, "--advanced", "--no-skip", "--json"}),
              std::vector<std::string>({found + "2048" + count, found + std::to_string(kStart + sectors - 4) + count,
                                        found + second + count,
                                        found + std::to_string(kStart + 2 * sectors - 4) + count}));
}

}  // namespace
}  // namespace quarvell::testing
