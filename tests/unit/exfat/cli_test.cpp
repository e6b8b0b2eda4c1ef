// quarvell-cli on the exFAT fixtures: the advanced road's listing of finds, its choices, the
// refusals, and recover saving deleted files at their own paths.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "../scan/TempFolder.h"
#include "ExfatImage.h"

using namespace quarvell::testing;
namespace fs = std::filesystem;

namespace {

std::string run(const std::string& command, int& status) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    char buf[65536];
    size_t n;
    while (p && (n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int rc = p ? ::pclose(p) : -1;
    status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

class ExfatCli : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"basic", "wiped"}) {
            std::vector<uint8_t> bytes = unpackFixture(name);
            if (bytes.empty()) GTEST_SKIP() << "xz could not unpack " << name;
            std::ofstream f(dir.str() + "/" + name + ".img", std::ios::binary);
            f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        }
        cli = std::string(QUARVELL_CLI) + " ";
    }
    std::string vol(const char* name) const { return " " + dir.str() + "/" + name + ".img --start 0 --fs FAT64"; }
    TempFolder dir;
    std::string cli;
};

TEST_F(ExfatCli, AdvancedListingPrintsTheFindsAndTheirOffsets) {
    int rc;
    const std::string text = run(cli + "ls" + vol("wiped") + " --mode advanced 2>&1", rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(text.find("FAT64_ENTRY:0\n"), std::string::npos);
    EXPECT_NE(text.find("HEAP_OFFSET_ENTRY:0\n"), std::string::npos);
    EXPECT_NE(text.find("Finding Fat64 entries...."), std::string::npos);
    EXPECT_NE(text.find("Number of FAT64-ENTRY found = 1 and Number of HeapOffset-ENTRY found =  1  . Please select "
                        "the choice from ( Entry and Heap ) Combobox and click Next button to proceed."),
              std::string::npos);
    const std::string json = run(cli + "ls" + vol("wiped") + " --mode advanced --json 2>/dev/null", rc);
    EXPECT_EQ(rc, 0);
    // mkfs.exfat places the FAT at 1 MiB and the heap (the allocation bitmap first) at 2 MiB.
    EXPECT_NE(json.find("{\"index\": 0, \"label\": \"FAT64_ENTRY:0\", \"offset\": 1048576}"), std::string::npos);
    EXPECT_NE(json.find("{\"index\": 0, \"label\": \"HEAP_OFFSET_ENTRY:0\", \"offset\": 2097152}"), std::string::npos);
}

TEST_F(ExfatCli, AdvancedChoicesParseAndBadChoicesFail) {
    int rc;
    const std::string listing = run(cli + "ls" + vol("wiped") +
                                        " --mode advanced --candidate 0 --heap 0 --sectors-per-cluster 8 2>/dev/null",
                                    rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(listing.find("ROOT/docs/a/b/c/deep.txt\n"), std::string::npos);
    EXPECT_NE(listing.find("ROOT/ORPHAN ENTRY\n"), std::string::npos);
    // A wrong cluster size still finishes; nothing crashes.
    run(cli + "ls" + vol("wiped") + " --mode advanced --candidate 0 --sectors-per-cluster 128 2>/dev/null", rc);
    EXPECT_EQ(rc, 0);
    run(cli + "ls" + vol("wiped") + " --mode advanced --candidate 4 2>/dev/null", rc);
    EXPECT_EQ(rc, 1);
    run(cli + "ls" + vol("wiped") + " --mode advanced --candidate 0 --heap 9 2>/dev/null", rc);
    EXPECT_EQ(rc, 1);
    run(cli + "ls" + vol("wiped") + " 2>/dev/null", rc);
    EXPECT_EQ(rc, 1);
    run(cli + "ls" + vol("basic") + " --mode deep 2>/dev/null", rc);
    EXPECT_EQ(rc, 2);
    run(cli + "ls" + vol("basic") + " --formatted 2>/dev/null", rc);
    EXPECT_EQ(rc, 2);
}

TEST_F(ExfatCli, RecoverRootSavesDeletedFilesAtTheirOwnPaths) {
    TempFolder out;
    int rc;
    const std::string json =
        run(cli + "recover" + vol("basic") + " --path ROOT --out " + out.str() + " --yes --json 2>/dev/null", rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(fs::file_size(out.path() / "old-folder" / "inside.bin"), 9000u);
    EXPECT_EQ(fs::file_size(out.path() / "docs" / "frag-two.bin"), 36000u);
    EXPECT_EQ(fs::file_size(out.path() / "empty.txt"), 0u);
    EXPECT_NE(json.find("\"path\": \"ROOT/old-folder/inside.txt\""), std::string::npos);
    EXPECT_EQ(json.find("\"status\": \"incomplete\""), std::string::npos);
}

}  // namespace
