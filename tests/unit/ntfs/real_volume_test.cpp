// The third party's NTFS volume and the committed basic volume against The Sleuth Kit run live:
// every allocated path fls lists (named streams aside), every deleted one it names, and the
// recovered bytes of every file equal to icat's.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>

#include "NtfsImage.h"
#include "../scan/TempFolder.h"

using namespace quarvell;
using namespace quarvell::testing;
namespace fs = std::filesystem;

namespace {

struct FlsRow {
    std::string inode;
    bool deleted = false;
};

// path -> row, from `fls -r -p`, without named streams, orphans, the root itself and reused names.
std::map<std::string, FlsRow> flsListing(const std::string& image) {
    std::map<std::string, FlsRow> out;
    std::istringstream lines(runCommand("fls -r -p '" + image + "'"));
    static const std::regex row(R"(^\S/\S (\* )?(\d+)(-\d+-\d+)?:\t(.*)$)");
    std::string line;
    while (std::getline(lines, line)) {
        std::smatch m;
        if (!std::regex_match(line, m, row) || line.find("(realloc)") != std::string::npos) continue;
        const std::string path = m[4];
        if (path.find(':') != std::string::npos || path.rfind("$OrphanFiles", 0) == 0 || path == ".") continue;
        out[path] = FlsRow{m[2], m[1].matched};
    }
    return out;
}

void compareWithSleuthKit(const std::string& imagePath, const std::vector<uint8_t>& bytes,
                          const std::set<std::string>& renamed) {
    const auto fls = flsListing(imagePath);
    ASSERT_FALSE(fls.empty());
    NtfsImage img(bytes);
    ASSERT_TRUE(img.ok()) << img.parsed.failure;
    std::map<std::string, NtfsImage::Item> ours;
    for (const auto& i : img.items()) ours.emplace(i.path, i);
    TempFolder out;
    int n = 0;
    for (const auto& [path, row] : fls) {
        if (renamed.count(path)) continue;
        auto it = ours.find(path);
        ASSERT_NE(it, ours.end()) << path << " is not listed";
        EXPECT_EQ(img.adapter().isDeleted(it->second.key, kNoData), row.deleted) << path;
        if (it->second.folder) continue;
        const std::string theirs = runCommand("icat '" + imagePath + "' " + row.inode);
        const SaveReport r = saveTo(img.adapter(), it->second.key, out.str() + "/" + std::to_string(n++));
        ASSERT_TRUE(r.saved()) << path << ": " << r.problem;
        EXPECT_EQ(slurp(r.outputPath), theirs) << path;
    }
}

TEST(RealVolume, ListingAndBytesMatchTheSleuthKit) {
    if (!fs::exists(realNtfsPath())) GTEST_SKIP() << "no real NTFS image at " << realNtfsPath();
    if (!haveSleuthKit()) GTEST_SKIP() << "The Sleuth Kit (fls, icat) is not installed";
    TempFolder tmp;
    const std::string raw = tmp.str() + "/volume.raw";
    ASSERT_EQ(std::system(("xz -dc '" + realNtfsPath() + "' > '" + raw + "'").c_str()), 0);
    const std::vector<uint8_t> bytes = unxz(realNtfsPath());
    compareWithSleuthKit(raw, bytes, {});
    NtfsImage img(bytes);
    const auto syslog = img.find("Windows/System32/config/syslog");
    ASSERT_TRUE(syslog);
    EXPECT_EQ(img.adapter().sizeInBytes(syslog->key), 1247u);
    EXPECT_EQ(syslog->key, 67);  // the entry's index is its MFT record number
}

TEST(RealVolume, TheBasicFixtureMatchesTheSleuthKitToo) {
    if (!haveSleuthKit()) GTEST_SKIP() << "The Sleuth Kit (fls, icat) is not installed";
    TempFolder tmp;
    const std::string raw = tmp.str() + "/basic.img";
    ASSERT_EQ(std::system(("xz -dc '" + fixturePath("basic.img.xz") + "' > '" + raw + "'").c_str()), 0);
    const std::string bin = "$RECYCLE.BIN/S-1-5-21-111-222-333-1001/";
    compareWithSleuthKit(raw, unxz(fixturePath("basic.img.xz")), {bin + "$RK3J9QZ.docx", bin + "$RA1B2C3.jpg"});
}

}  // namespace
