// `quarvell-cli partitions --json` on the fixture disks made by tests/fixtures/make_partition_fixtures.sh,
// against the rows their manifests give for each way of scanning.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "CliRun.h"

namespace quarvell::testing {
namespace {

const std::set<std::string> kRowKeys = {"volumeName", "fileSystem", "sizeText", "startSector", "sectorCount"};

std::string rowText(const JsonValue& row) {
    std::ostringstream s;
    s << row["volumeName"].text << " | " << row["fileSystem"].text << " | " << row["sizeText"].text << " | "
      << row["startSector"].text << " | " << row["sectorCount"].text;
    return s.str();
}

// Checks the CLI's output is one JSON array of rows with exactly the contract's keys and types,
// equal to `want` row by row.
void expectRows(const CliResult& run, const JsonValue& want) {
    ASSERT_EQ(run.exitCode, 0) << run.err;
    JsonValue got;
    ASSERT_NO_THROW(got = JsonValue::parse(run.out)) << run.out;
    ASSERT_EQ(got.kind, JsonValue::Kind::Array) << run.out;
    std::vector<std::string> gotRows, wantRows;
    for (const auto& row : got.items) {
        ASSERT_EQ(row.kind, JsonValue::Kind::Object);
        // "clipped" (true) only on a row cut at the medium's end.
        std::set<std::string> keys(row.keys.begin(), row.keys.end());
        if (keys.erase("clipped")) EXPECT_TRUE(row["clipped"].boolean) << rowText(row);
        EXPECT_EQ(keys, kRowKeys);
        EXPECT_EQ(row["volumeName"].kind, JsonValue::Kind::String);
        EXPECT_EQ(row["fileSystem"].kind, JsonValue::Kind::String);
        EXPECT_EQ(row["sizeText"].kind, JsonValue::Kind::String);
        EXPECT_TRUE(row["startSector"].isInteger()) << row["startSector"].text;
        EXPECT_TRUE(row["sectorCount"].isInteger()) << row["sectorCount"].text;
        gotRows.push_back(rowText(row));
    }
    for (const auto& row : want.items) wantRows.push_back(rowText(row));
    EXPECT_EQ(gotRows, wantRows);
}

struct Mode {
    const char* manifestKey;
    std::vector<std::string> flags;
};

const std::vector<Mode>& modes() {
    static const std::vector<Mode> list = {
        {"standard", {}},
        {"gpt", {"--gpt"}},
        {"advanced", {"--advanced"}},
        {"advancedNoSkip", {"--advanced", "--no-skip"}},
    };
    return list;
}

// mbr-extended: primaries, an extended chain and a primary after it; mbr-first-empty: slot 1
// empty; gpt: GPT with a reserved and a named partition; fat-oem: FAT boot records of other
// systems and a broken one; truncated, ebr-loop, gpt-entries-past-end, empty: bad input.
const char* const kDisks[] = {"mbr-extended", "mbr-first-empty", "gpt",      "fat-oem",
                              "truncated",    "ebr-loop",        "gpt-entries-past-end", "empty"};

class FixtureScan : public ::testing::TestWithParam<std::tuple<const char*, size_t>> {};

TEST_P(FixtureScan, PrintsTheManifestRows) {
    const std::string disk = std::get<0>(GetParam());
    const Mode& mode = modes()[std::get<1>(GetParam())];
    const JsonValue manifest = fixtureManifest(disk);
    std::vector<std::string> args = {"partitions", fixtureImage(disk), "--json"};
    args.insert(args.end(), mode.flags.begin(), mode.flags.end());
    expectRows(runCli(args), manifest[mode.manifestKey]);
}

INSTANTIATE_TEST_SUITE_P(Disks, FixtureScan,
                         ::testing::Combine(::testing::ValuesIn(kDisks), ::testing::Range<size_t>(0, 4)),
                         [](const auto& info) {
                             std::string name = std::string(std::get<0>(info.param)) + "_" +
                                                modes()[std::get<1>(info.param)].manifestKey;
                             for (char& c : name)
                                 if (c == '-') c = '_';
                             return name;
                         });

// A sector range: the block holding the end sector is walked whole, nothing after it.
TEST(FixtureScanRange, AdvancedScanKeepsToTheRange) {
    const JsonValue range = fixtureManifest("mbr-extended")["advancedRange"];
    const std::string image = fixtureImage("mbr-extended");
    const std::string start = range["start"].text, end = range["end"].text;
    expectRows(runCli({"partitions", image, "--advanced", "--start", start, "--end", end, "--json"}),
               range["advanced"]);
    expectRows(runCli({"partitions", image, "--advanced", "--start", start, "--end", end, "--no-skip", "--json"}),
               range["advancedNoSkip"]);
}

TEST(FixtureScanRange, RangesThatHoldNothingFindNothing) {
    const std::string image = fixtureImage("mbr-extended");
    const JsonValue none = JsonValue::parse("[]");
    // An end before the start, and a start past the end of the medium.
    expectRows(runCli({"partitions", image, "--advanced", "--start", "90112", "--end", "2048", "--json"}), none);
    expectRows(runCli({"partitions", image, "--advanced", "--start", "200000", "--json"}), none);
}

// The text table carries the same rows as --json under the four column titles.
TEST(FixtureScanText, TableListsTheRowsUnderTheColumnTitles) {
    const std::string image = fixtureImage("mbr-first-empty");
    const CliResult run = runCli({"partitions", image});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::istringstream lines(run.out);
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    size_t at = 0;
    for (const char* title : {"VOLUME", "FILE_SYSTEM", "VOLUME_SIZE", "START_SECTOR"}) {
        const size_t found = line.find(title, at);
        ASSERT_NE(found, std::string::npos) << title << " in " << line;
        at = found + std::string(title).size();
    }
    const JsonValue manifest = fixtureManifest("mbr-first-empty");
    for (const auto& row : manifest["standard"].items) {
        ASSERT_TRUE(std::getline(lines, line)) << "missing row " << rowText(row);
        size_t pos = 0;
        for (const std::string& cell : {row["volumeName"].text, row["fileSystem"].text, row["sizeText"].text}) {
            const size_t found = line.find(cell, pos);
            ASSERT_NE(found, std::string::npos) << cell << " in " << line;
            pos = found + cell.size();
        }
        EXPECT_EQ(line.compare(0, row["volumeName"].text.size(), row["volumeName"].text), 0) << line;
        const std::string start = row["startSector"].text;
        ASSERT_GE(line.size(), start.size());
        EXPECT_EQ(line.substr(line.size() - start.size()), start) << line;
    }
    EXPECT_FALSE(std::getline(lines, line)) << "extra line " << line;
}

}  // namespace
}  // namespace quarvell::testing
