#include <gtest/gtest.h>
#include <openssl/sha.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "FaultyReader.h"
#include "fs/RunWriter.h"

using namespace quarvell;
namespace fs = std::filesystem;

namespace {

struct Folder {
    fs::path path;
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "quarvell-runwriter-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~Folder() { fs::remove_all(path); }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (auto& e : fs::directory_iterator(path)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
};

std::string slurp(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string sha256Hex(const std::string& bytes) {
    unsigned char md[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), md);
    std::string out;
    for (unsigned char c : md) {
        static const char* hex = "0123456789abcdef";
        out += hex[c >> 4];
        out += hex[c & 15];
    }
    return out;
}

std::vector<uint8_t> pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t(i * 7 + i / 512);
    return v;
}

FileData runsOver(quarvell::testing::FaultyReader& reader, uint64_t size, std::vector<DataRun> runs) {
    FileData d;
    d.source = &reader;
    d.size = size;
    d.runs = std::move(runs);
    return d;
}

TEST(RunWriter, HolesUnreadableSectorsAndShortRunsKeepEveryOffset) {
    quarvell::testing::FaultyReader reader(pattern(64 * 1024));
    reader.badSectors = {9};  // bytes 4608..5119
    Folder out;
    WorkerControl control;
    // 4 KiB of data, a 1 KiB hole, 4 KiB spanning the bad sector, then a run that leaves the
    // volume, and 1000 more bytes of size than any run covers.
    const FileData d = runsOver(reader, 4096 + 1024 + 4096 + 512 + 1000,
                                {{DataRun::Kind::Volume, 0, 4096},
                                 {DataRun::Kind::Hole, 0, 1024},
                                 {DataRun::Kind::Volume, 4096, 4096},
                                 {DataRun::Kind::PastVolume, 0, 512}});
    const SaveReport r = RunWriter(control, true).save(d, out.path.string(), "f.bin");
    ASSERT_TRUE(r.saved()) << r.problem;
    EXPECT_EQ(r.status, SaveStatus::Incomplete);
    EXPECT_EQ(r.holeBytes, 1024u);
    EXPECT_EQ(r.unreadableBytes, 512u);
    EXPECT_EQ(r.missingBytes, 512u + 1000u);
    EXPECT_EQ(r.outputPath, (out.path / "f.bin").string());

    std::string expected(reader.data.begin(), reader.data.begin() + 4096);
    expected += std::string(1024, '\0');
    std::string second(reader.data.begin() + 4096, reader.data.begin() + 8192);
    std::fill(second.begin() + 512, second.begin() + 1024, '\0');  // sector 9 only
    expected += second + std::string(512 + 1000, '\0');
    const std::string got = slurp(r.outputPath);
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
    EXPECT_EQ(r.sha256, sha256Hex(expected));
    EXPECT_EQ(r.bytesWritten, expected.size());
}

TEST(RunWriter, SparseFileIsCompleteAndRunsPastTheSizeAreCut) {
    quarvell::testing::FaultyReader reader(pattern(8192));
    Folder out;
    WorkerControl control;
    const FileData d = runsOver(reader, 3000, {{DataRun::Kind::Hole, 0, 1000}, {DataRun::Kind::Volume, 0, 8192}});
    const SaveReport r = RunWriter(control).save(d, out.path.string(), "sparse");
    EXPECT_EQ(r.status, SaveStatus::Complete);
    EXPECT_EQ(r.holeBytes, 1000u);
    EXPECT_EQ(slurp(r.outputPath), std::string(1000, '\0') + std::string(reader.data.begin(), reader.data.begin() + 2000));
}

TEST(RunWriter, ResidentProducedAndUnsupportedData) {
    Folder out;
    WorkerControl control;
    FileData resident;
    resident.size = 5;
    resident.resident = std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o'};
    resident.modificationTime = 1262304000;
    SaveReport r = RunWriter(control).save(resident, out.path.string(), "a/b\\..");
    ASSERT_TRUE(r.saved());
    EXPECT_EQ(fs::path(r.outputPath).parent_path(), out.path);  // the name cannot leave the folder
    EXPECT_EQ(slurp(r.outputPath), "hello");
    struct stat st;
    ASSERT_EQ(::stat(r.outputPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1262304000);

    FileData produced;
    produced.size = 6;
    produced.produce = [](DataOutput& o) {
        const uint8_t ab[] = {'a', 'b'};
        return o.putBytes(ab, 2) && o.putUnreadable(2) && o.putBytes(ab, 2);
    };
    r = RunWriter(control).save(produced, out.path.string(), "p");
    EXPECT_EQ(r.status, SaveStatus::Incomplete);
    EXPECT_EQ(slurp(r.outputPath), std::string("ab\0\0ab", 6));

    FileData encrypted;
    encrypted.size = 10;
    encrypted.unsupported = "encrypted";
    r = RunWriter(control).save(encrypted, out.path.string(), "secret");
    EXPECT_EQ(r.status, SaveStatus::Failed);
    EXPECT_EQ(r.problem, "encrypted");
    EXPECT_EQ(out.names(), (std::vector<std::string>{"a_b_..", "p"}));
}

TEST(RunWriter, StopAndFailedWritesLeaveNothingUnderAFinalName) {
    quarvell::testing::FaultyReader reader(pattern(1 << 20));
    Folder out;
    WorkerControl control;
    control.requestStop();
    SaveReport r = RunWriter(control).save(runsOver(reader, 1 << 20, {{DataRun::Kind::Volume, 0, 1 << 20}}),
                                           out.path.string(), "big");
    EXPECT_EQ(r.status, SaveStatus::Failed);
    EXPECT_EQ(r.problem, "stopped");
    EXPECT_TRUE(out.names().empty());

    // A full disk: a 64 KiB tmpfs (root only).
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
    Folder small;
    ASSERT_EQ(::mount("tmpfs", small.path.c_str(), "tmpfs", 0, "size=64k"), 0) << std::strerror(errno);
    WorkerControl go;
    r = RunWriter(go).save(runsOver(reader, 1 << 20, {{DataRun::Kind::Volume, 0, 1 << 20}}), small.path.string(), "big");
    EXPECT_EQ(r.status, SaveStatus::Failed);
    EXPECT_NE(r.problem.find("write failed"), std::string::npos) << r.problem;
    EXPECT_TRUE(small.names().empty());
    ::umount(small.path.c_str());
}

// A stop is noticed at the next piece of the file, not after its last byte: a reader that
// raises the stop on its first read is read once, and a hashed hole of 1 TiB ends early.
TEST(RunWriter, StopEndsTheFileBeingWrittenAtItsNextPiece) {
    struct StoppingReader : quarvell::testing::FaultyReader {
        using FaultyReader::FaultyReader;
        WorkerControl* control = nullptr;
        bool read(void* buffer, uint32_t count) override {
            control->requestAbort();
            return FaultyReader::read(buffer, count);
        }
    };
    StoppingReader reader(pattern(4 << 20));
    Folder out;
    WorkerControl control;
    reader.control = &control;
    SaveReport r = RunWriter(control, true)
                       .save(runsOver(reader, 4 << 20, {{DataRun::Kind::Volume, 0, 4 << 20}}), out.path.string(), "a");
    EXPECT_EQ(r.status, SaveStatus::Failed);
    EXPECT_EQ(r.problem, "stopped");
    EXPECT_EQ(reader.reads, 1);

    WorkerControl later;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        later.requestAbort();
    });
    r = RunWriter(later, true).save(runsOver(reader, uint64_t(1) << 40, {{DataRun::Kind::Hole, 0, uint64_t(1) << 40}}),
                                    out.path.string(), "sparse");
    stopper.join();
    EXPECT_EQ(r.status, SaveStatus::Failed);
    EXPECT_EQ(r.problem, "stopped");
    EXPECT_TRUE(out.names().empty());
}

// Data that ends at its allocation (no sparse files on its kind): a recorded size of 1 TiB
// beyond 4 KiB of clusters saves the 4 KiB and reports the rest missing.
TEST(RunWriter, SizeBeyondTheAllocationIsMissingNotWritten) {
    quarvell::testing::FaultyReader reader(pattern(8192));
    Folder out;
    WorkerControl control;
    FileData d = runsOver(reader, uint64_t(1) << 40,
                          {{DataRun::Kind::Volume, 0, 4096}, {DataRun::Kind::PastVolume, 0, uint64_t(1) << 39}});
    d.endsAtAllocation = true;
    const SaveReport r = RunWriter(control, true).save(d, out.path.string(), "huge");
    ASSERT_TRUE(r.saved()) << r.problem;
    EXPECT_EQ(r.status, SaveStatus::Incomplete);
    EXPECT_EQ(r.bytesWritten, 4096u);
    EXPECT_EQ(r.missingBytes, (uint64_t(1) << 40) - 4096);
    const std::string expected(reader.data.begin(), reader.data.begin() + 4096);
    EXPECT_EQ(slurp(r.outputPath), expected);
    EXPECT_EQ(r.sha256, sha256Hex(expected));
}

TEST(RunWriter, TwoJobsSavingTheSameNamesNeverCollide) {
    Folder out;
    auto job = [&](char tag) {
        WorkerControl control;
        for (int i = 0; i < 40; ++i) {
            FileData d;
            d.size = 1;
            d.resident = std::vector<uint8_t>{uint8_t(tag)};
            EXPECT_TRUE(RunWriter(control).save(d, out.path.string(), "same.txt").saved());
        }
    };
    std::thread a(job, 'a'), b(job, 'b');
    a.join();
    b.join();
    const std::vector<std::string> names = out.names();
    EXPECT_EQ(names.size(), 80u);
    int as = 0;
    for (const std::string& n : names) {
        EXPECT_EQ(n.find(".quarvell-part"), std::string::npos);
        const std::string bytes = slurp((out.path / n).string());
        ASSERT_EQ(bytes.size(), 1u) << n;
        as += bytes[0] == 'a';
    }
    EXPECT_EQ(as, 40);
}

}  // namespace

namespace {

int shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

// A small exFAT volume mounted through FUSE: a folder whose file system has no unnamed
// temporary files, so saves there take the named temporary file and the rename.
struct FuseExfatFolder {
    Folder work;
    fs::path mountPoint;
    std::string loop;
    bool mounted = false;
    FuseExfatFolder() {
        const fs::path image = work.path / "x.img";
        mountPoint = work.path / "mnt";
        fs::create_directories(mountPoint);
        if (shell("truncate -s 8M " + image.string()) || shell("mkfs.exfat " + image.string())) return;
        FILE* p = ::popen(("losetup -f --show " + image.string() + " 2>/dev/null").c_str(), "r");
        char line[128] = {};
        if (!p) return;
        if (std::fgets(line, sizeof line, p)) loop = std::string(line, strcspn(line, "\n"));
        ::pclose(p);
        if (loop.empty()) return;
        mounted = shell("mount.exfat-fuse " + loop + " " + mountPoint.string()) == 0;
    }
    ~FuseExfatFolder() {
        if (mounted) shell("umount " + mountPoint.string());
        if (!loop.empty()) shell("losetup -d " + loop);
    }
};

}  // namespace

TEST(RunWriter, FoldersWithoutUnnamedFilesGetTheSameBytesNamesAndNoLeftovers) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a FUSE exFAT volume needs root";
    FuseExfatFolder out;
    if (!out.mounted) GTEST_SKIP() << "mkfs.exfat, losetup or mount.exfat-fuse not usable here";
    quarvell::testing::FaultyReader reader(pattern(16 * 1024));
    WorkerControl control;
    RunWriter writer(control, true);
    // 4 KiB of data and a 6000-byte hole at the end: the length must still come out right.
    const FileData d = runsOver(reader, 4096 + 6000, {{DataRun::Kind::Volume, 0, 4096}, {DataRun::Kind::Hole, 0, 6000}});
    const SaveReport first = writer.save(d, out.mountPoint.string(), "tail.bin");
    const SaveReport second = writer.save(d, out.mountPoint.string(), "tail.bin");
    ASSERT_TRUE(first.saved()) << first.problem;
    ASSERT_TRUE(second.saved()) << second.problem;
    const std::string expected = std::string(reader.data.begin(), reader.data.begin() + 4096) + std::string(6000, '\0');
    for (const SaveReport* r : {&first, &second}) {
        EXPECT_TRUE(slurp(r->outputPath) == expected) << r->outputPath;
        EXPECT_EQ(r->sha256, sha256Hex(expected));
    }
    EXPECT_NE(first.outputPath, second.outputPath);
    std::vector<std::string> names;
    for (auto& e : fs::directory_iterator(out.mountPoint)) names.push_back(e.path().filename().string());
    EXPECT_EQ(names.size(), 2u);
    for (const std::string& n : names) EXPECT_EQ(n.find(".quarvell-part"), std::string::npos) << n;
}
