// Against The Sleuth Kit (fls -r -p, icat) on the real ext2 volume and on every fixture: every
// allocated file and folder listed by path, regular files byte-exact. And the command line's
// contracts on ext volumes: JSON keys, exit codes, search.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <sys/wait.h>

#include "ExtImage.h"
#include "../scan/TempFolder.h"

using namespace quarvell;
using namespace quarvell::testing;
namespace fs = std::filesystem;

namespace {

std::string run(const std::string& command, int& status) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    char buf[65536];
    size_t n;
    while (p && (n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int rc = p ? ::pclose(p) : -1;
    status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}
std::string run(const std::string& command) {
    int rc;
    return run(command, rc);
}

bool haveSleuthKit() { return std::system("command -v fls >/dev/null 2>&1 && command -v icat >/dev/null 2>&1") == 0; }

struct FlsLine {
    char type;  // 'r', 'd', 'l'
    std::string inode;
    std::string path;
};

// Allocated entries of `fls -r -p` (deleted ones carry "*"; the virtual orphan folder is left out).
std::vector<FlsLine> flsAllocated(const std::string& image) {
    std::vector<FlsLine> out;
    std::istringstream in(run("fls -r -p '" + image + "'"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.find(" * ") != std::string::npos || line.size() < 5) continue;
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        FlsLine f;
        f.type = line[2];
        f.inode = line.substr(4, line.find(':', 4) - 4);
        f.path = line.substr(tab + 1);
        if (f.path.rfind("$OrphanFiles", 0) == 0) continue;
        out.push_back(f);
    }
    return out;
}

void compareWithSleuthKit(const std::string& image) {
    ParsedExt img(readBytes(image));
    ASSERT_TRUE(img.parsed.completed);
    const auto listed = img.byPath();
    TempFolder out;
    int n = 0;
    const std::vector<FlsLine> lines = flsAllocated(image);
    ASSERT_FALSE(lines.empty());
    for (const FlsLine& f : lines) {
        auto it = listed.find(f.path);
        ASSERT_NE(it, listed.end()) << image << ": " << f.path;
        EXPECT_EQ(img.adapter().isFolder(it->second), f.type == 'd') << f.path;
        EXPECT_EQ(std::to_string(it->second + 1), f.inode) << f.path;
        if (f.type != 'r') continue;  // icat gives a fast link's target as zeros
        if (img.adapter().sizeInBytes(it->second) > (8u << 20)) continue;  // the manifests check the huge sparse ones
        const SaveReport r = saveTo(img.adapter(), it->second, out.str() + "/f" + std::to_string(n++));
        ASSERT_TRUE(r.saved()) << f.path;
        int rc = 0;
        const std::string theirs = run("icat '" + image + "' " + f.inode + " 2>/dev/null", rc);
        if (rc != 0) continue;  // icat cannot follow every extent tree; the manifests check those
        const std::vector<uint8_t> ours = readBytes(r.outputPath);
        EXPECT_TRUE(theirs == std::string(ours.begin(), ours.end())) << image << ": " << f.path;
    }
}

TEST(ExtSleuthKit, RealVolume) {
    if (!fs::exists(realExt2Path())) GTEST_SKIP() << "no real ext2 image at " << realExt2Path();
    if (!haveSleuthKit()) GTEST_SKIP() << "The Sleuth Kit is not installed";
    const std::string image = unpackXz(realExt2Path());
    compareWithSleuthKit(image);
    ParsedExt img(readBytes(image));
    const auto listed = img.byPath();
    // The symbolic link is saved as its target text.
    TempFolder out;
    const SaveReport r = saveTo(img.adapter(), listed.at("a_link"), out.str() + "/l");
    EXPECT_EQ(r.status, SaveStatus::Complete);
    const std::vector<uint8_t> link = readBytes(r.outputPath);
    EXPECT_EQ(std::string(link.begin(), link.end()), "a_directory/another_file");
    EXPECT_EQ(img.adapter().sizeInBytes(listed.at("passwords.txt")), 116u);
}

TEST(ExtSleuthKit, EveryFixture) {
    if (!haveSleuthKit()) GTEST_SKIP() << "The Sleuth Kit is not installed";
    for (const std::string& name : fixtureNames())
        if (name != "ext4-htree") compareWithSleuthKit(fixtureImage(name));
}

class ExtCli : public ::testing::Test {
protected:
    void SetUp() override {
        cli = std::string(QUARVELL_CLI) + " ";
        image = fixtureImage("ext4-4k");
        vol = " '" + image + "' --start 0 --fs extX";
    }
    std::string cli, image, vol;
};

TEST_F(ExtCli, LsJsonAndText) {
    int rc;
    const std::string json = run(cli + "ls" + vol + " --json 2>/dev/null", rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(json.find("{\"path\": \"ROOT/small.txt\", \"folder\": false, \"deleted\": false, \"size\": \"15 Bytes\", "
                        "\"creation\": \""),
              std::string::npos);
    EXPECT_NE(json.find("\"path\": \"ROOT/日本語/ファイル.txt\""), std::string::npos);
    EXPECT_EQ(json.find("doomed"), std::string::npos);
    const std::string text = run(cli + "ls" + vol + " 2>&1", rc);
    EXPECT_NE(text.find("parsing group 1  of 1 "), std::string::npos);
    EXPECT_NE(text.find("Maintaining Parent Child...."), std::string::npos);
    EXPECT_NE(text.find("filling root entries in  tree...."), std::string::npos);
}

TEST_F(ExtCli, RecoverJsonAndExitCodes) {
    TempFolder out;
    int rc;
    const std::string json = run(cli + "recover" + vol + " --path ROOT --out '" + out.str() + "' --yes --json 2>/dev/null", rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(json.find("\"path\": \"ROOT/sparse.bin\", \"output\": \""), std::string::npos);
    EXPECT_NE(json.find("\"size\": 1000000, \"sha256\": \""), std::string::npos);
    EXPECT_TRUE(fs::exists(out.path() / "deep/level1/level2/level3/level4/level5/level6/level7/level8/level9/level10/"
                                        "level11/level12/level13/level14/level15/level16/level17/level18/level19/"
                                        "level20/level21/level22/level23/level24/level25/level26/level27/level28/"
                                        "level29/level30/leaf.txt"));
    std::error_code ec;
    EXPECT_EQ(fs::file_size(out.path() / "sparse.bin", ec), 1000000u);
    // Not an ext volume at all.
    const std::string zeros = out.str() + "/zeros.img";
    run("head -c 1048576 /dev/zero > '" + zeros + "'");
    run(cli + "ls '" + zeros + "' --start 0 --fs extX >/dev/null 2>&1", rc);
    EXPECT_EQ(rc, 1);
}

TEST_F(ExtCli, SearchFindsFilesInUnopenedFolders) {
    int rc;
    const std::string found = run(cli + "search" + vol + " --pattern 'leaf|ファイル' 2>/dev/null", rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(found.find("leaf.txt"), std::string::npos);
    EXPECT_NE(found.find("ファイル.txt"), std::string::npos);
}

}  // namespace
