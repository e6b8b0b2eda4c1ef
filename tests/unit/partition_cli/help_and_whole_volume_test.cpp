// The command line's help texts (every option a command takes, every mode, exit code 3), its
// usage errors (one line of our own, exit 2), and `partitions` on media that are one volume
// from sector 0 on or whose table points past their end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

#include "CliRun.h"

namespace quarvell::testing {
namespace {

const std::vector<std::string> kVolume = {"--volume", "--gpt", "--start", "--size", "--sectors", "--fs"};
const std::vector<std::string> kModes = {"--mode", "--candidate", "--heap", "--sectors-per-cluster", "--formatted", "--max"};

std::vector<std::string> join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(CliHelp, EveryCommandShowsTheOptionsItTakesTheModesAndTheExitCodes) {
    const std::map<std::string, std::vector<std::string>> options = {
        {"partitions", {"--gpt", "--advanced", "--start", "--end", "--no-skip", "--json"}},
        {"drives", {"--json"}},
        {"ls", join(join(kVolume, kModes), {"--json"})},
        {"recover", join(join(kVolume, kModes), {"--path", "--out", "--yes", "--json", "--dfxml", "--allow-same-disk"})},
        {"search", join(join(kVolume, kModes), {"--pattern", "--json"})},
        {"carve", join(kVolume, {"--no-default", "--catalogue", "--out", "--dfxml", "--allow-same-disk", "--json"})},
        {"signature", {"--ext", "--header", "--footer", "--size-offset", "--size-bytes", "--header-size",
                       "--size-includes-header", "--skip", "--approx", "--category"}},
    };
    const CliResult all = runCli({"--help"});
    EXPECT_EQ(all.exitCode, 0);
    for (const auto& [command, names] : options) {
        const CliResult help = runCli({command, "--help"});
        EXPECT_EQ(help.exitCode, 0) << command;
        EXPECT_EQ(help.out.rfind("usage: quarvell-cli " + command + " ", 0), 0u) << help.out;
        EXPECT_NE(all.out.find("  " + command + " "), std::string::npos) << command;
        for (const std::string& o : names) EXPECT_NE(help.out.find("  " + o + " "), std::string::npos) << command << " " << o;
        for (const std::string* text : {&help.out, &all.out})
            for (const char* code : {"\n  0 ", "\n  1 ", "\n  2 ", "\n  3 "})
                EXPECT_NE(text->find(code), std::string::npos) << command << ": exit code" << code;
    }
    for (const char* command : {"ls", "recover", "search"}) {
        const std::string help = runCli({command, "--help"}).out;
        EXPECT_NE(help.find("--mode standard|advanced|deep"), std::string::npos) << command;
        EXPECT_NE(help.find("advanced (ntfs, fat32, fat16, fat64)"), std::string::npos) << help;
        EXPECT_NE(help.find("deep (ntfs, extX, HFS+)"), std::string::npos) << help;
    }
}

TEST(CliHelp, UsageErrorsAreOneLineOfOurOwn) {
    const std::string image = fixtureImage("ebr-loop");
    const std::map<std::vector<std::string>, std::string> cases = {
        {{"ls", image, "--volume"}, "quarvell-cli: --volume needs a value\n"},
        {{"recover", image, "--volume", "0", "--bogus", "--path", "ROOT", "--out", "/tmp"}, "quarvell-cli: unknown option --bogus\n"},
        {{"carve", image, "--mode", "deep"}, "quarvell-cli: unknown option --mode\n"},
        {{"drives", "--json=yes=no"}, ""},
    };
    for (const auto& [args, want] : cases) {
        const CliResult r = runCli(args);
        EXPECT_EQ(r.exitCode, 2) << args[2 % args.size()] << ": " << r.err;
        if (!want.empty()) EXPECT_EQ(r.err, want);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.err.rfind("quarvell-cli: ", 0), 0u) << r.err;
    }
    // A value is the argument after its option, whatever it looks like; --opt=value works too.
    EXPECT_EQ(runCli({"partitions", image, "--advanced", "--end", "-5"}).err,
              "quarvell-cli: sector numbers cannot be negative\n");
    EXPECT_EQ(runCli({"partitions", image, "--advanced", "--end=-5"}).err,
              "quarvell-cli: sector numbers cannot be negative\n");
}

std::string writeImage(const std::string& name, std::vector<unsigned char> bytes) {
    const std::string path = scratchDir() + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

void put32(std::vector<unsigned char>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

TEST(PartitionsWholeVolume, EntriesPastTheEndAreLeftOutOrClipped) {
    std::vector<unsigned char> disk(4096 * 512, 0);
    disk[510] = 0x55;
    disk[511] = 0xAA;
    disk[446 + 4] = 0x83;
    put32(disk, 446 + 8, 2048);
    put32(disk, 446 + 12, 100000);        // runs past the end
    disk[462 + 4] = 0x07;
    put32(disk, 462 + 8, 4109694196u);    // starts far past it
    put32(disk, 462 + 12, 2000);
    const std::string path = writeImage("past-end.img", disk);
    const CliResult r = runCli({"partitions", path, "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const JsonValue rows = JsonValue::parse(r.out);
    ASSERT_EQ(rows.items.size(), 1u) << r.out;
    EXPECT_EQ(rows.items[0]["startSector"].integer(), 2048);
    EXPECT_EQ(rows.items[0]["sectorCount"].integer(), 2048);
    EXPECT_TRUE(rows.items[0]["clipped"].boolean);
    EXPECT_NE(r.err.find("partition entry 1 runs past the end of the medium (4096 sectors)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("partition entry 2 starts at sector 4109694196"), std::string::npos) << r.err;
}

// Bare volumes made by other systems: each is the one volume of its medium, and ls lists it.
TEST(PartitionsWholeVolume, RealVolumesAreVolumeZero) {
    const std::filesystem::path real = std::filesystem::path(QUARVELL_SOURCE_DIR) / ".." / "shared" / "fixtures" / "real";
    const std::vector<std::pair<std::string, std::string>> images = {
        {"ntfs-windows-volume.raw.xz", "NTFS"}, {"ext2.raw.xz", "extX"}, {"hfsplus.raw", "HFS+"}};
    for (const auto& [name, label] : images) {
        if (!std::filesystem::exists(real / name)) {
            std::fprintf(stderr, "skipped: no %s\n", (real / name).c_str());
            continue;
        }
        const std::string path = name.ends_with(".xz") ? unpacked((real / name).string()) : (real / name).string();
        const CliResult r = runCli({"partitions", path, "--json"});
        ASSERT_EQ(r.exitCode, 0) << name << ": " << r.err;
        const JsonValue rows = JsonValue::parse(r.out);
        ASSERT_EQ(rows.items.size(), 1u) << name << ": " << r.out;
        EXPECT_EQ(rows.items[0]["fileSystem"].text, label);
        EXPECT_EQ(rows.items[0]["startSector"].integer(), 0);
        EXPECT_EQ(uint64_t(rows.items[0]["sectorCount"].integer()) * 512, std::filesystem::file_size(path)) << name;
        const CliResult ls = runCli({"ls", path, "--volume", "0"});
        EXPECT_EQ(ls.exitCode, 0) << name << ": " << ls.err;
        EXPECT_GT(std::count(ls.out.begin(), ls.out.end(), '\n'), 3) << name;
    }
}

}  // namespace
}  // namespace quarvell::testing
