// The parser against volumes of the project's own writer: every live and deleted record listed
// where it belongs, recovered bytes equal to the writer's hashes and to icat, stale copies in
// unlinked nodes never shadowing live records, damaged headers and extents trees survived, and
// the command-line face giving the same answers.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "FixtureRecipes.h"
#include "ParsedImage.h"
#include "Sha256.h"
#include "TempFolder.h"
#include "common/WorkerControl.h"
#include "scan/SaveWalk.h"

using namespace quarvell;
using namespace quarvell::testing;
namespace fs = std::filesystem;

namespace {

std::string runCommand(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return out;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int rc = ::pclose(p);
    if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

bool haveSleuthKit() { return std::system("command -v fls >/dev/null 2>&1 && command -v icat >/dev/null 2>&1") == 0; }

std::string sha256OfFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    hfsfixture::Sha256 h;
    std::vector<char> buf(1 << 16);
    while (in) {
        in.read(buf.data(), std::streamsize(buf.size()));
        h.update(reinterpret_cast<const uint8_t*>(buf.data()), size_t(in.gcount()));
    }
    return h.hexDigest();
}

struct Fixture {
    TempFolder folder;
    std::string image;
    hfsfixture::FixtureOutcome outcome;
    Fixture(const std::string& name, uint32_t blockSize = 0, uint32_t nodeSize = 0) {
        image = (folder.path() / (name + ".img")).string();
        outcome = hfsfixture::writeFixture(name, image, blockSize, nodeSize);
    }
    std::vector<uint8_t> bytes() const { return readWholeFile(image); }
    const hfsfixture::HfsManifestEntry* live(const std::string& path) const {
        for (const auto& m : outcome.manifest)
            if (m.path == path && !m.stale) return &m;
        return nullptr;
    }
};

// Every non-stale manifest entry is listed at its path; every file's data saves to its hash.
void expectManifestRecovered(const Fixture& fx, ParsedImage& img, bool extentsUsable = true) {
    std::map<std::string, EntryKey> listed;
    for (auto& [p, k] : img.items()) listed.emplace(p, k);
    TempFolder out;
    int n = 0;
    for (const auto& m : fx.outcome.manifest) {
        if (m.stale) continue;
        auto it = listed.find(m.path);
        ASSERT_NE(it, listed.end()) << m.path << (m.deleted ? " (deleted)" : "");
        EXPECT_EQ(img.adapter().isFolder(it->second), m.folder) << m.path;
        if (m.folder) continue;
        const std::string target = (out.path() / std::to_string(n++)).string();
        SaveReport r = saveTo(img.adapter(), it->second, target);
        ASSERT_TRUE(r.saved()) << m.path << ": " << r.problem;
        EXPECT_EQ(r.unreadableBytes, 0u) << m.path;
        if (!extentsUsable && m.dataExtentCount > 8) {
            EXPECT_GT(r.missingBytes, 0u) << m.path;
            EXPECT_EQ(r.status, SaveStatus::Incomplete) << m.path;
            // Saved up to the data its record's extents give; the rest is missing, not zeros.
            EXPECT_EQ(fs::file_size(target) + r.missingBytes, m.size) << m.path;
            continue;
        }
        EXPECT_EQ(fs::file_size(target), m.size) << m.path;
        EXPECT_EQ(sha256OfFile(target), m.sha256) << m.path;
    }
}

class WriterFixture : public ::testing::TestWithParam<std::string> {};

TEST_P(WriterFixture, ListsAndRecoversEveryRecord) {
    Fixture fx(GetParam());
    ParsedImage img(fx.bytes());
    ASSERT_TRUE(img.parsed.completed);
    expectManifestRecovered(fx, img, !fx.outcome.damage.corruptExtentsHeader);
    if (fx.outcome.damage.zeroPrimaryHeader) {
        EXPECT_TRUE(img.parser().usedAlternateHeader());
    }
}

TEST_P(WriterFixture, NamesAndBytesMatchTheSleuthKit) {
    Fixture fx(GetParam());
    if (fx.outcome.damage.zeroPrimaryHeader || fx.outcome.damage.corruptExtentsHeader)
        GTEST_SKIP() << "The Sleuth Kit does not read this damaged volume";
    if (!haveSleuthKit()) GTEST_SKIP() << "The Sleuth Kit is not installed";
    ParsedImage img(fx.bytes());
    std::map<std::string, EntryKey> listed;
    for (auto& [p, k] : img.items()) listed.emplace(p, k);
    std::set<std::string> deleted;
    for (const auto& m : fx.outcome.manifest)
        if (m.deleted) deleted.insert(m.path);

    std::istringstream lines(runCommand("fls -r -p " + fx.image));
    std::set<std::string> fromFls;
    TempFolder out;
    for (std::string line; std::getline(lines, line);) {
        const std::string path = line.substr(line.find('\t') + 1);
        if (path.empty() || path[0] == '$' || line.find(" * ") != std::string::npos) continue;
        fromFls.insert(path);
        ASSERT_TRUE(listed.count(path)) << path;
        if (line.rfind("r/r ", 0) != 0) continue;
        const std::string inode = line.substr(4, line.find(':') - 4);
        const std::string target = (out.path() / inode).string();
        ASSERT_TRUE(saveTo(img.adapter(), listed[path], target).saved()) << path;
        EXPECT_EQ(runCommand("cat '" + target + "'"), runCommand("icat " + fx.image + " " + inode)) << path;
    }
    for (auto& [p, k] : listed)
        EXPECT_TRUE(fromFls.count(p) || deleted.count(p)) << "listed but neither in fls nor deleted: " << p;
}

INSTANTIATE_TEST_SUITE_P(Recipes, WriterFixture,
                         ::testing::Values("basic", "overflow", "deleted", "bigblocks", "oddcatalog", "badheader",
                                           "badextents"));

struct Geometry {
    uint32_t blockSize, nodeSize;
};

class Geometries : public ::testing::TestWithParam<Geometry> {};

TEST_P(Geometries, BlockAndNodeSizesInAnyCombination) {
    for (const char* recipe : {"deleted", "overflow"}) {
        Fixture fx(recipe, GetParam().blockSize, GetParam().nodeSize);
        ParsedImage img(fx.bytes());
        ASSERT_TRUE(img.parsed.completed) << recipe;
        expectManifestRecovered(fx, img);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, Geometries,
                         ::testing::Values(Geometry{4096, 4096}, Geometry{4096, 8192}, Geometry{8192, 4096},
                                           Geometry{8192, 8192}, Geometry{16384, 4096}, Geometry{512, 4096}));

TEST(WriterFixtures, StaleCopyInAnUnlinkedNodeNeverShadowsTheLiveRecord) {
    Fixture fx("deleted");
    ParsedImage img(fx.bytes());
    int stale = 0;
    for (const auto& m : fx.outcome.manifest) {
        if (!m.stale) continue;
        ++stale;
        const HfsCatalogEntry* e = img.parser().findEntry(m.cnid);
        ASSERT_NE(e, nullptr);
        EXPECT_TRUE(e->inLinkedLeaf);
        EXPECT_EQ(e->logicalSize, fx.live(m.path)->size);
    }
    EXPECT_GT(stale, 0);
}

TEST(WriterFixtures, AnUnreadableCatalogNodeCostsOnlyItsOwnRecords) {
    Fixture fx("basic");
    ParsedImage good(fx.bytes());
    const size_t listed = good.paths().size();
    std::vector<const HfsNodeRecord*> leaves;
    for (const HfsNodeRecord& n : good.parser().catalogNodes())
        if (n.kind == -1) leaves.push_back(&n);
    ASSERT_GE(leaves.size(), 2u) << "the recipe needs more than one catalog leaf";
    const HfsNodeRecord& lost = *leaves.back();

    ParsedImage img(fx.bytes(), ParseMode::Standard, {lost.byteOffset / 512});
    ASSERT_TRUE(img.parsed.completed);
    EXPECT_GT(img.parsed.unreadableMetadata, 0u);
    const size_t left = img.paths().size();
    EXPECT_LT(left, listed);
    EXPECT_GE(left + lost.recordCount, listed) << "more than the bad node's records went missing";
}

TEST(WriterFixtures, ExtentIndexKeepsDataAndResourceForksApart) {
    Fixture fx("overflow");
    ParsedImage img(fx.bytes());
    int resource = 0;
    for (const auto& [key, rec] : img.parser().extentIndex()) resource += key.forkType == kHfsResourceFork;
    EXPECT_GT(resource, 0);
    expectManifestRecovered(fx, img);
}

TEST(WriterFixtures, DeepModeListsDeletedRecordsUnderOrphanEntry) {
    for (const char* recipe : {"deleted", "oddcatalog", "bigblocks"}) {
        Fixture fx(recipe);
        ParsedImage img(fx.bytes(), ParseMode::Deep);
        ASSERT_TRUE(img.parsed.completed) << recipe;
        std::map<uint64_t, std::string> byId;
        for (auto& [p, k] : img.items()) byId.emplace(uint64_t(k), p);
        int deleted = 0;
        for (const auto& m : fx.outcome.manifest) {
            if (!m.deleted) continue;
            ++deleted;
            auto it = byId.find(m.cnid);
            ASSERT_NE(it, byId.end()) << recipe << ": " << m.path;
            EXPECT_EQ(it->second.rfind("ORPHAN_ENTRY/", 0), 0u) << it->second;
            if (m.folder) continue;
            TempFolder out;
            const std::string target = (out.path() / "f").string();
            ASSERT_TRUE(saveTo(img.adapter(), EntryKey(m.cnid), target).saved());
            EXPECT_EQ(sha256OfFile(target), m.sha256) << m.path;
        }
        EXPECT_GT(deleted, 0) << recipe;
    }
}

TEST(WriterFixtures, DeepModeFindsLeavesAtOddBlocksWithTwoBlocksPerNode) {
    Fixture fx("oddcatalog");
    ASSERT_EQ(fx.outcome.layout.catalogNodeSize, 2 * fx.outcome.layout.blockSize);
    ASSERT_EQ(fx.outcome.layout.catalogStartBlock % 2, 1u);
    ParsedImage normal(fx.bytes()), deep(fx.bytes(), ParseMode::Deep);
    std::set<uint64_t> normalLeaves, deepLeaves;
    for (const auto& n : normal.parser().catalogNodes())
        if (n.kind == -1) normalLeaves.insert(n.byteOffset);
    for (const auto& n : deep.parser().catalogNodes()) deepLeaves.insert(n.byteOffset);
    for (uint64_t at : normalLeaves) EXPECT_TRUE(deepLeaves.count(at)) << at;
    std::set<uint64_t> liveIds;
    for (const auto& m : fx.outcome.manifest)
        if (!m.stale) liveIds.insert(m.cnid);
    for (uint64_t id : liveIds) EXPECT_NE(deep.parser().findEntry(id), nullptr) << id;
}

TEST(WriterFixtures, SaveWalkRecreatesTheTreeWithTheWritersBytes) {
    Fixture fx("basic");
    ParsedImage img(fx.bytes());
    TempFolder out;
    NullSink sink;
    WorkerControl control;
    SaveWalk saver(img.tree, img.adapter(), sink, control);
    for (TreeItem c = img.tree.firstChild(img.tree.rootItem()); c != kNoItem; c = img.tree.nextSibling(c)) {
        if (!img.adapter().isFolder(img.tree.itemData(c))) {
            saver.quickSave(c, out.path().string());
            continue;
        }
        const fs::path sub = out.path() / img.tree.itemText(c);
        fs::create_directories(sub);
        saver.saveSelection(c, sub.string());
    }
    for (const auto& m : fx.outcome.manifest) {
        if (m.folder || m.stale || m.deleted) continue;
        const fs::path saved = out.path() / m.path;
        ASSERT_TRUE(fs::exists(saved)) << m.path;
        EXPECT_EQ(sha256OfFile(saved.string()), m.sha256) << m.path;
    }
}

// The command-line face: ls --json lists every path, recover ROOT writes the whole volume,
// search finds by pattern and refuses an invalid one with exit code 2.
TEST(WriterFixtures, CommandLineListsRecoversAndSearches) {
    Fixture fx("deleted");
    const std::string cli = QUARVELL_CLI;
    const std::string vol = " " + fx.image + " --start 0 --fs HFS+";
    int rc = -1;
    const std::string json = runCommand(cli + " ls" + vol + " --json 2>/dev/null", &rc);
    EXPECT_EQ(rc, 0);
    for (const auto& m : fx.outcome.manifest) {
        if (m.stale) continue;
        std::string escaped;
        for (char c : m.path) escaped += c == '%' ? std::string("%25") : std::string(1, c);
        EXPECT_NE(json.find("{\"path\": \"ROOT/" + escaped + "\", \"folder\": " + (m.folder ? "true" : "false") +
                            ", \"deleted\": false, \"size\": "),
                  std::string::npos)
            << m.path;
    }
    TempFolder out;
    runCommand(cli + " recover" + vol + " --path ROOT --out " + out.str() + " --yes 2>/dev/null", &rc);
    EXPECT_EQ(rc, 0);
    for (const auto& m : fx.outcome.manifest) {
        if (m.folder || m.stale) continue;
        const fs::path saved = out.path() / m.path;
        ASSERT_TRUE(fs::exists(saved)) << m.path;
        EXPECT_EQ(sha256OfFile(saved.string()), m.sha256) << m.path;
    }
    const std::string found = runCommand(cli + " search" + vol + " --pattern 'TXT$' --json 2>/dev/null", &rc);
    EXPECT_EQ(rc, 0);
    for (const auto& m : fx.outcome.manifest) {
        if (m.folder || m.stale || m.path.size() < 4) continue;
        const bool txt = m.path.compare(m.path.size() - 4, 4, ".txt") == 0;
        EXPECT_EQ(found.find("\"path\": \"ROOT/" + m.path + "\"") != std::string::npos, txt) << m.path;
    }
    const std::string err = runCommand(cli + " search" + vol + " --pattern '*.txt' 2>&1", &rc);
    EXPECT_EQ(rc, 2);
    EXPECT_NE(err.find("such characters are not allowed for search.Try again with different pattern."),
              std::string::npos);
}

}  // namespace
