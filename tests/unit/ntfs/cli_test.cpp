// ls, recover and search on NTFS volumes through quarvell-cli: the advanced road's candidate
// list and its parse from a chosen candidate, the recover JSON, and the exit codes.
#include <gtest/gtest.h>

#include <filesystem>

#include "Manifest.h"
#include "NtfsImage.h"
#include "../scan/TempFolder.h"

using namespace quarvell::testing;

namespace {

class NtfsCli : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new TempFolder();
        for (const char* name : {"basic", "noboot", "reformat"})
            std::system(("xz -dc '" + fixturePath(std::string(name) + ".img.xz") + "' > '" + folder_->str() + "/" +
                         name + ".img'")
                            .c_str());
    }
    static void TearDownTestSuite() { delete folder_; }
    static std::string cli(const std::string& image, const std::string& args, int& rc) {
        return runCommand(std::string(QUARVELL_CLI) + " " + args.substr(0, args.find(' ')) + " '" + folder_->str() +
                              "/" + image + ".img' --start 0 --fs NTFS" + args.substr(args.find(' ')) + " 2>/dev/null",
                          &rc);
    }
    static TempFolder* folder_;
};
TempFolder* NtfsCli::folder_ = nullptr;

TEST_F(NtfsCli, AdvancedWithoutACandidateListsTheMftCopies) {
    int rc = -1;
    EXPECT_EQ(cli("noboot", "ls --mode advanced", rc), "MFT_ENTRY:0\n");
    EXPECT_EQ(rc, 0);
    const std::string json = cli("reformat", "ls --mode advanced --json", rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(json,
              "[\n{\"index\": 0, \"label\": \"MFT_ENTRY:0\", \"offset\": 65536},\n"
              "{\"index\": 1, \"label\": \"MFT_ENTRY:1\", \"offset\": 2064384}\n]\n");
    EXPECT_EQ(cli("reformat", "ls --mode advanced --max 1", rc), "MFT_ENTRY:0\n");
}

TEST_F(NtfsCli, AChosenCandidateParsesLikeTheStandardRoad) {
    int rc = -1;
    const std::string standard = cli("basic", "ls --json", rc);
    ASSERT_EQ(rc, 0);
    // Without a boot sector the advanced road still reaches the whole tree.
    const std::string advanced = cli("noboot", "ls --mode advanced --candidate 0 --sectors-per-cluster 8 --json", rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(std::count(advanced.begin(), advanced.end(), '{'), std::count(standard.begin(), standard.end(), '{'));
    EXPECT_NE(advanced.find("\"path\": \"ROOT/docs/deep/er/still/nested.txt\""), std::string::npos);
    const std::string found = cli("noboot", "search --mode advanced --candidate 0 --sectors-per-cluster 8 --pattern nested", rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(found.find("ROOT/docs/deep/er/still/nested.txt"), std::string::npos);
    // The 32 KiB clusters of the second format.
    const std::string second = cli("reformat", "ls --mode advanced --candidate 1 --sectors-per-cluster 64", rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(second.find("ROOT/new folder/new.txt"), std::string::npos);
}

TEST_F(NtfsCli, BadAdvancedChoicesFail) {
    int rc = -1;
    cli("basic", "ls --mode advanced --candidate 0 --sectors-per-cluster 128", rc);
    EXPECT_EQ(rc, 1);
    cli("basic", "ls --mode advanced --candidate 7 --sectors-per-cluster 8", rc);
    EXPECT_EQ(rc, 1);
    cli("basic", "ls --mode advanced --candidate 0 --sectors-per-cluster 16", rc);  // wrong cluster size
    EXPECT_EQ(rc, 1);
    cli("basic", "ls --candidate 0", rc);
    EXPECT_EQ(rc, 2);
}

TEST_F(NtfsCli, RecoverJsonMatchesTheManifest) {
    TempFolder out;
    int rc = -1;
    const std::string json = cli("basic", "recover --path ROOT/packed --out '" + out.str() + "' --yes --json", rc);
    EXPECT_EQ(rc, 0);
    const Manifest m = parseManifest(slurp(fixturePath("basic.manifest.json")));
    size_t checked = 0;
    for (const ManifestEntry& e : m.entries) {
        if (e.path.rfind("packed/", 0) != 0) continue;
        ++checked;
        EXPECT_NE(json.find("\"sha256\": \"" + e.sha256 + "\", \"unreadableBytes\": 0, \"missingBytes\": 0, "
                            "\"status\": \"complete\""),
                  std::string::npos)
            << e.path;
    }
    EXPECT_EQ(checked, 3u);
}

TEST_F(NtfsCli, DeepModeOnTheCommandLine) {
    int rc = -1;
    const std::string text = cli("basic", "ls --mode deep", rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(text.find("ROOT/ORPHAN_ENTRY/docs/readme.txt"), std::string::npos);
}

}  // namespace

namespace {

// The bare volume image is the medium's volume 0; a save of its root leaves "$BadClus" out (the
// walk still names it on the status line) and saves the files beside it.
TEST_F(NtfsCli, ARootSaveFromVolumeZeroLeavesBadClusOut) {
    TempFolder out, log;
    int rc = -1;
    const std::string image = folder_->str() + "/basic.img";
    const std::string json = runCommand(std::string(QUARVELL_CLI) + " recover '" + image + "' --volume 0 --path ROOT --out '" +
                                            out.str() + "' --yes --json 2>'" + log.str() + "/status.txt'",
                                        &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(json.find("$BadClus"), std::string::npos);
    EXPECT_NE(json.find("\"path\": \"ROOT/$Bitmap\""), std::string::npos);
    const std::string status = slurp(log.str() + "/status.txt");
    EXPECT_NE(status.find("saving File  " + out.str()), std::string::npos);
    EXPECT_NE(status.find("/$BadClus\n"), std::string::npos) << status.substr(0, 2000);
    for (const auto& e : std::filesystem::recursive_directory_iterator(out.str()))
        EXPECT_NE(e.path().filename().string(), "$BadClus");
    // Named on its own, it is left out too.
    TempFolder alone;
    runCommand(std::string(QUARVELL_CLI) + " recover '" + image + "' --volume 0 --path 'ROOT/$BadClus' --out '" +
                   alone.str() + "' --yes 2>/dev/null",
               &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(std::filesystem::is_empty(alone.str()));
}

}  // namespace
