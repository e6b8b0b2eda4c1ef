// Disk image containers read through FileReadSeek: every third-party container of the ext2 test
// volume against its raw twin (bytes, and the files the CLI recovers), damaged and truncated
// containers refused with a clear error, a chunk failing its checksum read as an unreadable
// range, and split raw images with parts of differing sizes.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/wait.h>
#include <tuple>
#include <vector>

#include "RunCommand.h"
#include "../scan/TempFolder.h"
#include "disk/FileReadSeek.h"
#include "disk/SalvagingRead.h"

using quarvell::FileReadSeek;
using quarvell::testing::TempFolder;
namespace fs = std::filesystem;

namespace {

const fs::path kReal = fs::path(QUARVELL_SOURCE_DIR) / ".." / "shared" / "fixtures" / "real";
constexpr uint64_t kVolumeBytes = 4194304;

std::string run(const std::string& command, int& status) {
    CommandOutcome r = runCommand(command);
    status = r.code;
    return std::move(r.out);
}

std::vector<uint8_t> slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void spit(const fs::path& p, const uint8_t* data, size_t n) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(n));
}

std::vector<uint8_t> readMedium(FileReadSeek& r, bool& allRead) {
    std::vector<uint8_t> bytes(r.mediumLength);
    allRead = true;
    // Odd piece sizes so reads straddle chunk, grain and part boundaries.
    for (uint64_t at = 0; at < bytes.size();) {
        const uint32_t n = uint32_t(std::min<uint64_t>(100003, bytes.size() - at));
        allRead = r.seek(int64_t(at)) && r.read(bytes.data() + at, n) && allRead;
        at += n;
    }
    return bytes;
}

// The files `recover --path ROOT --json` saves: path -> (size, sha256), and the exit code.
using Recovered = std::map<std::string, std::pair<uint64_t, std::string>>;
Recovered recoverAll(const fs::path& image, const fs::path& out, int& status) {
    const std::string json = run(std::string(QUARVELL_CLI) + " recover '" + image.string() +
                                     "' --start 0 --fs extX --path ROOT --json --out '" + out.string() + "' 2>/dev/null",
                                 status);
    Recovered files;
    for (const auto& f : nlohmann::json::parse(json, nullptr, false)) {
        if (f.is_discarded() || !f.is_object()) continue;
        EXPECT_EQ(f["status"], "complete") << f.dump();
        files[f["path"]] = {f["size"].get<uint64_t>(), f["sha256"].get<std::string>()};
    }
    return files;
}

class Images : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kReal / "ext2.raw.xz")) GTEST_SKIP() << "no third-party images at " << kReal;
        raw = tmp.path() / "ext2.raw";
        int rc = 0;
        run("xz -dc '" + (kReal / "ext2.raw.xz").string() + "' > '" + raw.string() + "'", rc);
        ASSERT_EQ(rc, 0);
        rawBytes = slurp(raw);
        ASSERT_EQ(rawBytes.size(), kVolumeBytes);
    }
    // Runs the CLI's ls on image; returns its stderr and sets status.
    std::string lsError(const fs::path& image, int& status) {
        return run(std::string(QUARVELL_CLI) + " ls '" + image.string() + "' --start 0 --fs extX 2>&1 >/dev/null",
                   status);
    }
    TempFolder tmp;
    fs::path raw;
    std::vector<uint8_t> rawBytes;
};

TEST_F(Images, EveryContainerHoldsTheRawVolumeAndRecoversItsFiles) {
    int rc = -1;
    const Recovered want = recoverAll(raw, tmp.path() / "raw-out", rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(want.size(), 4u);  // a_file, another_file, passwords.txt, a_link
    const std::vector<std::pair<const char*, const char*>> containers = {
        {"ext2.E01", "EWF"},   {"ext2.split.E01", "EWF"}, {"ext2.vhd", "VHD"},
        {"ext2.vmdk", "VMDK"}, {"ext2.qcow2", "QCOW"},    {"ext2.splitraw.000", "split raw"}};
    for (const auto& [name, format] : containers) {
        SCOPED_TRACE(name);
        FileReadSeek r;
        ASSERT_TRUE(r.open((kReal / name).string())) << r.lastError();
        EXPECT_STREQ(r.formatName(), format);
        // A VHD's disk is the volume rounded up to its geometry; the others hold it exactly.
        if (std::string(format) == "VHD")
            EXPECT_GE(r.mediumLength, kVolumeBytes);
        else
            EXPECT_EQ(r.mediumLength, kVolumeBytes);
        bool allRead = false;
        std::vector<uint8_t> medium = readMedium(r, allRead);
        EXPECT_TRUE(allRead);
        medium.resize(std::min<size_t>(medium.size(), kVolumeBytes));
        EXPECT_TRUE(medium == rawBytes);
        // Past the end: nothing comes, and the buffer is left as it was.
        uint8_t tail[8];
        std::memset(tail, 0x5a, sizeof tail);
        EXPECT_FALSE(r.seek(int64_t(r.mediumLength)) && r.read(tail, sizeof tail));
        EXPECT_EQ(tail[0], 0x5a);
        EXPECT_EQ(recoverAll(kReal / name, tmp.path() / (std::string(name) + "-out"), rc), want);
        EXPECT_EQ(rc, 0);
    }
}

// The kinds the third-party set lacks, made from the raw volume with qemu-img: VHDX, a fixed VHD,
// a QCOW2 of compressed clusters, and VMDKs that are stream-optimised, a descriptor with a flat
// extent beside it, or split into sparse extents.
TEST_F(Images, ContainersMadeByQemuImgHoldTheRawVolume) {
    int rc = -1;
    run("qemu-img --version >/dev/null 2>&1", rc);
    if (rc != 0) GTEST_SKIP() << "qemu-img (qemu-utils) is not installed";
    const Recovered want = recoverAll(raw, tmp.path() / "raw-out", rc);
    const std::vector<std::tuple<const char*, const char*, const char*>> kinds = {
        {"vhdx", "", "VHDX"},
        {"vpc", "-o subformat=fixed", "VHD"},
        {"qcow2", "-c", "QCOW"},
        {"vmdk", "-o subformat=streamOptimized", "VMDK"},
        {"vmdk", "-o subformat=monolithicFlat", "VMDK"},
        {"vmdk", "-o subformat=twoGbMaxExtentSparse", "VMDK"},
    };
    int i = 0;
    for (const auto& [format, options, name] : kinds) {
        const fs::path dir = tmp.path() / ("q" + std::to_string(i++));
        fs::create_directories(dir);
        const fs::path image = dir / (std::string("disk.") + format);
        SCOPED_TRACE(std::string(format) + " " + options);
        run("qemu-img convert -q -f raw -O " + std::string(format) + " " + options + " '" + raw.string() + "' '" +
                image.string() + "'",
            rc);
        ASSERT_EQ(rc, 0);
        FileReadSeek r;
        ASSERT_TRUE(r.open(image.string())) << r.lastError();
        EXPECT_STREQ(r.formatName(), name);
        bool allRead = false;
        std::vector<uint8_t> medium = readMedium(r, allRead);
        EXPECT_TRUE(allRead);
        ASSERT_GE(medium.size(), kVolumeBytes);
        medium.resize(kVolumeBytes);
        EXPECT_TRUE(medium == rawBytes);
        EXPECT_EQ(recoverAll(image, dir / "out", rc), want);
        EXPECT_EQ(rc, 0);
    }
}

// A descriptor whose 32 extents all lie in one flat file (the raw volume) reads as qemu-img
// reads it: the raw volume again.
TEST_F(Images, ADescriptorWithManyExtentsInOneFlatFile) {
    const fs::path dir = tmp.path() / "many";
    fs::create_directories(dir);
    fs::copy_file(raw, dir / "disk-flat.vmdk");
    const uint64_t sectors = kVolumeBytes / 512, extents = 32, per = sectors / extents;
    std::ofstream d(dir / "disk.vmdk");
    d << "# Disk DescriptorFile\nversion=1\nCID=fffffffe\nparentCID=ffffffff\ncreateType=\"monolithicFlat\"\n\n# Extent description\n";
    for (uint64_t i = 0; i < extents; ++i) d << "RW " << per << " FLAT \"disk-flat.vmdk\" " << i * per << "\n";
    d << "\n# The Disk Data Base\nddb.virtualHWVersion = \"4\"\nddb.adapterType = \"ide\"\n";
    d.close();
    int rc = -1;
    run("qemu-img --version >/dev/null 2>&1", rc);
    if (rc == 0) {
        run("qemu-img convert -q -O raw '" + (dir / "disk.vmdk").string() + "' '" + (dir / "back.raw").string() + "'", rc);
        ASSERT_EQ(rc, 0);
        ASSERT_TRUE(slurp(dir / "back.raw") == rawBytes) << "qemu-img reads the descriptor otherwise";
    }
    FileReadSeek r;
    ASSERT_TRUE(r.open((dir / "disk.vmdk").string())) << r.lastError();
    bool allRead = false;
    EXPECT_TRUE(readMedium(r, allRead) == rawBytes);
    EXPECT_TRUE(allRead);
}

// A sparse VMDK's embedded descriptor names the file it was written as; a renamed copy is still
// its own extent.
TEST_F(Images, ARenamedSparseVmdkStillOpens) {
    fs::copy_file(kReal / "ext2.vmdk", tmp.path() / "renamed.vmdk");
    FileReadSeek r;
    ASSERT_TRUE(r.open((tmp.path() / "renamed.vmdk").string())) << r.lastError();
    bool allRead = false;
    EXPECT_TRUE(readMedium(r, allRead) == rawBytes);
    EXPECT_TRUE(allRead);
}

TEST_F(Images, TruncatedAndDamagedContainersAreRefusedByName) {
    struct Case {
        const char* source;
        const char* name;
        uint64_t keep;          // bytes kept from the start (0: all)
        int64_t patchAt;        // bytes overwritten with "XXXXXXXX" (negative: from the end)
        const char* reason;     // words the error must hold
    };
    const std::vector<Case> cases = {
        {"ext2.E01", "cut.E01", 6000, 0, "truncated or damaged"},
        {"ext2.vhd", "cut.vhd", 1048576, 0, "damaged or truncated"},
        {"ext2.vhd", "footer.vhd", 0, -512, "damaged or truncated"},
        {"ext2.qcow2", "cut.qcow2", 262144, 0, "past its end"},
        {"ext2.qcow2", "header.qcow2", 0, 20, "damaged"},
        {"ext2.vmdk", "ext2.vmdk", 131072, 0, "past its end"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes = slurp(kReal / c.source);
        if (c.keep) bytes.resize(c.keep);
        if (c.patchAt) std::memcpy(&bytes[c.patchAt < 0 ? bytes.size() + c.patchAt : size_t(c.patchAt)], "XXXXXXXX", 8);
        const fs::path damaged = tmp.path() / c.name;
        spit(damaged, bytes.data(), bytes.size());
        FileReadSeek r;
        EXPECT_FALSE(r.open(damaged.string()));
        EXPECT_NE(r.lastError().find(c.reason), std::string::npos) << r.lastError();
        int rc = -1;
        const std::string err = lsError(damaged, rc);
        EXPECT_EQ(rc, 2) << err;
        EXPECT_NE(err.find("cannot open " + damaged.string()), std::string::npos) << err;
    }
    // A segmented EWF image whose second segment is missing, then cut short.
    fs::create_directories(tmp.path() / "seg");
    const fs::path first = tmp.path() / "seg" / "ext2.split.E01";
    fs::copy_file(kReal / "ext2.split.E01", first);
    FileReadSeek r;
    EXPECT_FALSE(r.open(first.string()));
    EXPECT_NE(r.lastError().find("incomplete"), std::string::npos) << r.lastError();
    std::vector<uint8_t> second = slurp(kReal / "ext2.split.E02");
    spit(tmp.path() / "seg" / "ext2.split.E02", second.data(), second.size() / 2);
    EXPECT_FALSE(r.open(first.string()));
    EXPECT_NE(r.lastError().find("incomplete"), std::string::npos) << r.lastError();
}

// An uncompressed EWF chunk whose bytes no longer match their checksum: the reads over it fail,
// readSalvaging loses that chunk and nothing else, and no bad byte is passed on as good.
TEST_F(Images, AnEwfChunkFailingItsChecksumIsAnUnreadableRange) {
    std::vector<uint8_t> e01 = slurp(kReal / "ext2.split.E01");
    // The superblock (medium bytes 1024..1087) stored as is in the first chunk.
    const auto at = std::search(e01.begin(), e01.end(), rawBytes.begin() + 1024, rawBytes.begin() + 1088);
    ASSERT_NE(at, e01.end());
    at[40] ^= 0xff;
    spit(tmp.path() / "bad.E01", e01.data(), e01.size());
    fs::copy_file(kReal / "ext2.split.E02", tmp.path() / "bad.E02");

    FileReadSeek r;
    ASSERT_TRUE(r.open((tmp.path() / "bad.E01").string())) << r.lastError();
    uint8_t sector[512];
    EXPECT_FALSE(r.seek(1024) && r.read(sector, sizeof sector));
    std::vector<uint8_t> got(kVolumeBytes, 0xee);
    const uint64_t lost = quarvell::readSalvaging(r, 0, got.data(), uint32_t(got.size()), 512);
    EXPECT_GT(lost, 0u);
    EXPECT_LE(lost, 65536u);
    size_t badFirst = got.size(), badEnd = 0, differing = 0;
    for (size_t i = 0; i < got.size(); ++i)
        if (got[i] != rawBytes[i]) {
            ++differing;
            badFirst = std::min(badFirst, i);
            badEnd = i + 1;
        }
    EXPECT_LE(badFirst, 1024u + 40);
    EXPECT_GT(badEnd, 1024u + 40);
    EXPECT_LE(badEnd - badFirst, lost);  // every wrong byte lies in what was reported lost
    EXPECT_GT(differing, 0u);
    // Reading the rest of the medium is unharmed.
    EXPECT_TRUE(r.seek(1 << 20) && r.read(sector, sizeof sector));
    EXPECT_EQ(std::memcmp(sector, &rawBytes[1 << 20], sizeof sector), 0);
}

TEST_F(Images, SplitRawPartsOfDifferentSizesAreOneMedium) {
    const std::vector<size_t> sizes = {1000003, 512, 1, 2097152};  // the last part takes the rest
    auto cut = [&](const std::string& stem, const std::vector<std::string>& suffixes) {
        size_t at = 0;
        for (size_t i = 0; i < suffixes.size(); ++i) {
            const size_t n = i + 1 == suffixes.size() ? rawBytes.size() - at : sizes[i];
            spit(tmp.path() / (stem + "." + suffixes[i]), rawBytes.data() + at, n);
            at += n;
        }
    };
    cut("disk", {"000", "001", "002", "003", "004"});
    cut("letters", {"aa", "ab", "ac", "ad", "ae"});
    for (const char* first : {"disk.000", "letters.aa"}) {
        SCOPED_TRACE(first);
        FileReadSeek r;
        ASSERT_TRUE(r.open((tmp.path() / first).string())) << r.lastError();
        EXPECT_STREQ(r.formatName(), "split raw");
        EXPECT_EQ(r.mediumLength, kVolumeBytes);
        bool allRead = false;
        EXPECT_TRUE(readMedium(r, allRead) == rawBytes);
        EXPECT_TRUE(allRead);
        // A read over the one-byte part and both its neighbours.
        std::vector<uint8_t> span(2000);
        ASSERT_TRUE(r.seek(1000003 + 512 - 1000) && r.read(span.data(), uint32_t(span.size())));
        EXPECT_EQ(std::memcmp(span.data(), &rawBytes[1000003 + 512 - 1000], span.size()), 0);
    }
    int rc = -1;
    EXPECT_EQ(recoverAll(tmp.path() / "disk.000", tmp.path() / "split-out", rc),
              recoverAll(raw, tmp.path() / "raw-out", rc));
    EXPECT_EQ(rc, 0);

    // A part missing in the middle would end the medium early: refused, naming the part.
    fs::remove(tmp.path() / "disk.002");
    FileReadSeek r;
    EXPECT_FALSE(r.open((tmp.path() / "disk.000").string()));
    EXPECT_NE(r.lastError().find("disk.002 is missing"), std::string::npos) << r.lastError();
    const std::string err = lsError(tmp.path() / "disk.000", rc);
    EXPECT_EQ(rc, 2) << err;
    // A later part opened as if it were the first would shift every byte.
    fs::copy_file(tmp.path() / "disk.000", tmp.path() / "second.000");
    fs::copy_file(tmp.path() / "disk.001", tmp.path() / "second.001");
    EXPECT_FALSE(r.open((tmp.path() / "second.001").string()));
    EXPECT_NE(r.lastError().find("not the first part"), std::string::npos) << r.lastError();
    // One part alone is a plain raw file.
    ASSERT_TRUE(r.open((tmp.path() / "letters.aa").string()));
    fs::remove(tmp.path() / "letters.ab");
    EXPECT_FALSE(r.open((tmp.path() / "letters.aa").string()));  // .ac .. remain: a gap
    spit(tmp.path() / "alone.001", rawBytes.data(), rawBytes.size());
    ASSERT_TRUE(r.open((tmp.path() / "alone.001").string())) << r.lastError();
    EXPECT_STREQ(r.formatName(), "raw");
    EXPECT_EQ(r.mediumLength, kVolumeBytes);
}

}  // namespace

namespace {

// Containers with bytes of their headers and tables changed: each either opens as a medium that
// reads without harm or is refused with a reason; none hangs, crashes or claims to open silently.
TEST_F(Images, DamagedHeadersAreReadSafelyOrRefused) {
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    for (const char* name : {"ext2.qcow2", "ext2.vmdk", "ext2.vhd", "ext2.E01"}) {
        const std::vector<uint8_t> original = slurp(kReal / name);
        for (int round = 0; round < 40; ++round) {
            SCOPED_TRACE(std::string(name) + " round " + std::to_string(round));
            std::vector<uint8_t> bytes = original;
            // A few bytes of the first 4 KiB (headers, descriptors, first tables), or of the last
            // 512 (a VHD footer).
            for (int k = 0; k < 4; ++k) {
                const size_t span = std::min<size_t>(bytes.size(), 4096);
                const size_t at = round % 2 ? next() % span : bytes.size() - 1 - next() % std::min<size_t>(512, span);
                bytes[at] = uint8_t(next() >> 16);
            }
            const fs::path damaged = tmp.path() / (std::string("m") + std::to_string(round) + "." + name);
            spit(damaged, bytes.data(), bytes.size());
            FileReadSeek r;
            if (!r.open(damaged.string())) {
                EXPECT_FALSE(r.lastError().empty());
            } else {
                std::vector<uint8_t> buf(1 << 20);
                for (uint64_t at = 0; at < std::min<uint64_t>(r.mediumLength, 8u << 20); at += buf.size())
                    (void)(r.seek(int64_t(at)) && r.read(buf.data(), uint32_t(buf.size())));
            }
            fs::remove(damaged);
        }
    }
}

}  // namespace
