// ls, recover and search on the real volume through quarvell-cli: the JSON contracts, path
// escaping, the save walk's question on the terminal, and the exit codes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "ParsedImage.h"
#include "../scan/TempFolder.h"

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

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class RealVolumeCli : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(realImagePath())) GTEST_SKIP() << "no real HFS+ image at " << realImagePath();
        base = std::string(QUARVELL_CLI) + " ";
        vol = std::string(" ") + realImagePath() + " --start 0 --fs HFS+";
    }
    std::string base, vol;
};

TEST_F(RealVolumeCli, LsJsonHasExactlyTheContractKeysAndEscapedPaths) {
    int rc;
    const std::string json = run(base + "ls" + vol + " --json 2>/dev/null", rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(json.find("{\"path\": \"ROOT/\u2400\u2400\u2400\u2400HFS+ Private Data\", \"folder\": true, \"deleted\": false, "
                        "\"size\": \"0 Bytes\", \"creation\": \"\", \"access\": \"\", \"modification\": \"\", "
                        "\"attributes\": \"\"}"),
              std::string::npos);
    EXPECT_NE(json.find("\"path\": \"ROOT/.HFS+ Private Directory Data\u240D\""), std::string::npos);
    EXPECT_NE(json.find("{\"path\": \"ROOT/a_directory/a_file\", \"folder\": false, \"deleted\": false, \"size\": "
                        "\"53 Bytes\", \"creation\": \""),
              std::string::npos);
    EXPECT_EQ(std::count(json.begin(), json.end(), '{'), 12);
    const std::string text = run(base + "ls" + vol + " 2>/dev/null", rc);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 12);
}

TEST_F(RealVolumeCli, RecoverAFolderAFileAndNothingWithoutATerminalToAsk) {
    TempFolder out;
    int rc;
    const std::string log = run(base + "recover" + vol + " --path ROOT/a_directory --out " + out.str() +
                                    " --yes 2>&1 >/dev/null",
                                rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(log.find("number of files found inside this folder = 3 .do u want to continue dumping these files..?"),
              std::string::npos);
    EXPECT_NE(log.find("saving File  " + out.str() + "/a_file"), std::string::npos);
    EXPECT_NE(log.find("work done"), std::string::npos);
    EXPECT_EQ(fs::file_size(out.path() / "a_file"), 53u);
    EXPECT_EQ(fs::file_size(out.path() / "another_file"), 22u);

    run(base + "recover" + vol + " --path ROOT/passwords.txt --out " + out.str() + " --yes 2>/dev/null </dev/null", rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(fs::file_size(out.path() / "passwords.txt"), 116u);

    // Without a terminal the questions cannot be asked: nothing is written, not even the folder;
    // an answer piped in is not taken.
    const std::string none = (out.path() / "none").string();
    const std::string refused =
        run("echo y | " + base + "recover" + vol + " --path ROOT/a_directory --out " + none + " 2>&1 >/dev/null", rc);
    EXPECT_EQ(rc, 2);
    EXPECT_NE(refused.find("no terminal to ask: use --yes"), std::string::npos) << refused;
    EXPECT_FALSE(fs::exists(none));

    run(base + "recover" + vol + " --path ROOT/no_such --out " + none + " --yes 2>/dev/null", rc);
    EXPECT_EQ(rc, 2);
}

TEST_F(RealVolumeCli, RecoverRootFailsWithExitOneWhenFilesCannotBeWritten) {
    TempFolder out;
    int rc;
    run(base + "recover" + vol + " --path ROOT --out " + out.str() + " --yes 2>/dev/null", rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(slurp(out.path() / "a_directory" / "a_file").size(), 53u);
    EXPECT_TRUE(fs::exists(out.path() / ".fseventsd" / "fseventsd-uuid"));
    // Control characters of names are saved as their control pictures.
    EXPECT_TRUE(fs::is_directory(out.path() / "\u2400\u2400\u2400\u2400HFS+ Private Data"));
    EXPECT_TRUE(fs::is_directory(out.path() / ".HFS+ Private Directory Data\u240D"));
    // --path names such a folder by its pictures or by the older "%00" escapes.
    for (const char* path : {"'ROOT/\u2400\u2400\u2400\u2400HFS+ Private Data'", "'ROOT/%00%00%00%00HFS+ Private Data'"}) {
        TempFolder one;
        run(base + "recover" + vol + " --path " + path + " --out " + one.str() + " --yes 2>/dev/null", rc);
        EXPECT_EQ(rc, 0) << path;
    }
    // Files cannot be created under /proc, not even by root.
    if (!fs::is_directory("/proc/self")) GTEST_SKIP() << "no /proc to refuse the files";
    const std::string log =
        run(base + "recover" + vol + " --path ROOT/a_directory --out /proc/self --yes 2>&1 >/dev/null", rc);
    EXPECT_EQ(rc, 1);
    EXPECT_NE(log.find("could not save /proc/self/a_file: cannot create a file in the output folder"), std::string::npos);
    EXPECT_NE(log.find("3 files could not be saved"), std::string::npos);
}

TEST_F(RealVolumeCli, SearchRowsAndTheInvalidPattern) {
    int rc;
    const std::string json = run(base + "search" + vol + " --pattern 'FILE$|^pass' --json 2>/dev/null", rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(json.find("{\"path\": \"ROOT/a_directory/a_file\", \"creation\": \""), std::string::npos);
    EXPECT_NE(json.find("\"path\": \"ROOT/a_directory/another_file\""), std::string::npos);
    EXPECT_NE(json.find("\"path\": \"ROOT/passwords.txt\""), std::string::npos);
    EXPECT_NE(json.find("\"size\": \"116 Bytes\", \"attributes\": \"-Owner:W-Owner:R-OR-GR\"}"), std::string::npos);
    EXPECT_EQ(std::count(json.begin(), json.end(), '{'), 3);

    const std::string err = run(base + "search" + vol + " --pattern '(' 2>&1", rc);
    EXPECT_EQ(rc, 2);
    EXPECT_EQ(err, "such characters are not allowed for search.Try again with different pattern.\n");
}

}  // namespace
