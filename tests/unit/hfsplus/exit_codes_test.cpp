// The command line's exit codes and recover --json on the real volume: 0 every file complete,
// 3 saved but incomplete, 1 not saved, 2 bad input; a signal ends a save with 128 + its number
// and leaves no partial file.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <signal.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "ParsedImage.h"
#include "../scan/TempFolder.h"

using namespace quarvell;
using namespace quarvell::testing;
namespace fs = std::filesystem;

extern char** environ;

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

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
}

TEST(ExitCodes, CompleteIncompleteFailedAndBadInputWithTheJsonReport) {
    if (!fs::exists(realImagePath())) GTEST_SKIP() << "no real HFS+ image at " << realImagePath();
    const std::vector<uint8_t> bytes = readWholeFile(realImagePath());
    const std::string cli = std::string(QUARVELL_CLI) + " ";
    TempFolder out;
    int rc;

    const std::string json =
        run(cli + "recover " + realImagePath() + " --start 0 --fs HFS+ --path ROOT --out " + out.str() +
                "/all --json 2>/dev/null", rc);
    EXPECT_EQ(rc, 0);
    const auto files = nlohmann::json::parse(json);
    ASSERT_TRUE(files.is_array());
    bool sawFile = false;
    for (const auto& f : files) {
        EXPECT_EQ(f.size(), 7u) << f.dump();
        EXPECT_EQ(f["status"], "complete") << f.dump();
        EXPECT_EQ(f["unreadableBytes"], 0);
        EXPECT_EQ(f["missingBytes"], 0);
        if (f["path"] != "ROOT/a_directory/a_file") continue;
        sawFile = true;
        EXPECT_EQ(f["output"], out.str() + "/all/a_directory/a_file");
        EXPECT_EQ(f["size"], 53);
        EXPECT_EQ(f["sha256"].get<std::string>().size(), 64u);
        EXPECT_EQ(fs::file_size(f["output"].get<std::string>()), 53u);
    }
    EXPECT_TRUE(sawFile);

    // passwords.txt claims 1000 bytes more than its extents hold: saved up to its data, exit 3.
    ParsedImage good(bytes);
    const HfsCatalogEntry* e = good.parser().findEntry(uint64_t(good.keyOf("passwords.txt")));
    ASSERT_NE(e, nullptr);
    std::vector<uint8_t> b = bytes;
    const size_t rec = size_t(e->nodeOffset + e->recordOffset);
    const size_t data = rec + 2 + ((size_t(b[rec]) << 8) | b[rec + 1]);
    const uint64_t longer = 4096 + 1000;
    for (int i = 0; i < 8; ++i) b[data + 88 + i] = uint8_t(longer >> (56 - 8 * i));
    const std::string damaged = out.str() + "/damaged.img";
    writeFile(damaged, b);
    const std::string report = run(cli + "recover " + damaged + " --start 0 --fs HFS+ --path ROOT/passwords.txt --out " +
                                       out.str() + "/one --json 2>" + out.str() + "/err.txt",
                                   rc);
    EXPECT_EQ(rc, 3);
    const auto one = nlohmann::json::parse(report);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0]["path"], "ROOT/passwords.txt");
    EXPECT_EQ(one[0]["status"], "incomplete");
    EXPECT_EQ(one[0]["missingBytes"], 1000);
    EXPECT_EQ(one[0]["size"], longer - 1000);
    std::ifstream err(out.str() + "/err.txt");
    std::string summary, line;
    while (std::getline(err, line)) summary = line;
    EXPECT_EQ(summary, "1 files saved in " + out.str() + "/one, 1 incomplete");

    run(cli + "recover " + realImagePath() + " --start 0 --fs HFS+ --path ROOT/a_directory --out /proc/self --yes "
              "2>/dev/null",
        rc);
    EXPECT_EQ(rc, 1);
    run(cli + "recover " + out.str() + "/missing.img --start 0 --fs HFS+ --path ROOT --out " + out.str() +
            " 2>/dev/null",
        rc);
    EXPECT_EQ(rc, 2);
    run(cli + "ls " + realImagePath() + " --start 0 --fs HFS+ --mode advanced 2>/dev/null", rc);
    EXPECT_EQ(rc, 2) << "HFS+ offers no advanced mode";
}

bool holdsRegularFile(const fs::path& folder) {
    for (auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file()) return true;
    return false;
}

TEST(ExitCodes, SignalEndsTheSaveWithoutLeavingAPartialFile) {
    TempFolder work;
    const std::string image = work.str() + "/big.img";
    int rc;
    run(std::string(QUARVELL_BINARY_DIR) + "/tests/hfsplus-writer --bigfile 268435456 " + image + " >/dev/null 2>&1",
        rc);
    if (rc != 0) GTEST_SKIP() << "the HFS+ writer could not make the big image";
    for (int signal : {SIGINT, SIGTERM}) {
        const fs::path out = work.path() / ("out" + std::to_string(signal));
        fs::create_directories(out);
        std::vector<std::string> args = {QUARVELL_CLI, "recover", image, "--start", "0", "--fs", "HFS+",
                                         "--path", "ROOT", "--out", out.string(), "--yes"};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid;
        ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        bool sent = false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!sent && std::chrono::steady_clock::now() < deadline) {
            int status;
            if (::waitpid(pid, &status, WNOHANG) == pid) break;
            if (holdsRegularFile(out)) {
                ::kill(pid, signal);
                sent = true;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        int status = 0;
        if (sent) ::waitpid(pid, &status, 0);
        if (!sent) GTEST_SKIP() << "the save ended before a signal could be sent";
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        // Files finished before the signal stay; the interrupted one leaves nothing.
        for (auto& f : fs::recursive_directory_iterator(out)) {
            const std::string name = f.path().filename().string();
            EXPECT_TRUE(name == "big" || name == "small.txt") << "left behind: " << f.path();
        }
    }
}

}  // namespace
