// Never writing onto the medium being recovered: the output folder's storage resolved through
// mount table and block-device tables, first on a made-up system (partition, device-mapper and
// loop stacks), then as root on a real loop device over the demo disk with a mounted partition.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "CliOutput.h"
#include "LoopDevice.h"
#include "scan/SameDiskCheck.h"

namespace fs = std::filesystem;
using namespace quarvell;
using quarvell::testing::LoopDevice;
using quarvell::testing::runCommand;

namespace {

struct Scratch {
    fs::path root;
    Scratch() {
        static int n = 0;
        root = fs::temp_directory_path() / ("quarvell-samedisk-" + std::to_string(::getpid()) + "-" + std::to_string(n++));
        fs::remove_all(root);
        fs::create_directories(root);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

void writeFile(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << text;
}

// A made-up /sys: a block device `name` with number `dev` under devices/virtual/block (inside
// `parent` for a partition), listed in dev/block.
fs::path addDevice(const fs::path& sys, const std::string& name, const std::string& dev, const fs::path& parent = {}) {
    const fs::path dir = (parent.empty() ? sys / "devices" / "virtual" / "block" : parent) / name;
    writeFile(dir / "dev", dev + "\n");
    if (!parent.empty()) writeFile(dir / "partition", "1\n");
    fs::create_directories(sys / "dev" / "block");
    fs::create_symlink(dir, sys / "dev" / "block" / dev);
    return dir;
}

}  // namespace

// An image file behind a loop device whose partition holds the folder (the mount point has a
// blank, escaped in the table); a device-mapper device over that partition; the file system
// that merely holds the image; and a FUSE mount of the image file itself.
TEST(SameDiskTables, ImageSourceThroughPartitionLoopAndDeviceMapper) {
    Scratch s;
    const fs::path sys = s.root / "sys";
    const fs::path image = s.root / "disk.img";
    const fs::path other = s.root / "other.img";
    writeFile(image, "image");
    writeFile(other, "other");
    const fs::path loop = addDevice(sys, "loop9", "7:9");
    writeFile(loop / "loop" / "backing_file", image.string() + "\n");
    addDevice(sys, "loop9p1", "259:1", loop);
    const fs::path loop2 = addDevice(sys, "loop8", "7:8");
    writeFile(loop2 / "loop" / "backing_file", other.string() + " (deleted)\n");
    const fs::path dm = addDevice(sys, "dm-3", "253:3");
    fs::create_directories(dm / "slaves");
    fs::create_symlink(loop / "loop9p1", dm / "slaves" / "loop9p1");

    const fs::path mnt = s.root / "mnt point";
    for (const char* d : {"part/out", "dm", "other", "fuse", "holder"}) fs::create_directories(mnt / d);
    const std::string m = (s.root / "mnt\\040point").string();
    writeFile(s.root / "mountinfo",
              "1 0 254:0 / / rw - ext4 /dev/vda rw\n"
              "2 1 259:1 / " + m + "/part rw shared:1 - ext4 /dev/loop9p1 rw\n"
              "3 1 253:3 / " + m + "/dm rw - ext4 /dev/mapper/x rw\n"
              "4 1 7:8 / " + m + "/other rw - ext4 /dev/loop8 rw\n"
              "5 1 0:77 / " + m + "/fuse rw - fuse " + image.string() + " rw\n"
              "6 1 0:78 / " + m + "/holder rw - tmpfs tmpfs rw\n");
    const SystemTables tables{(s.root / "mountinfo").string(), sys.string()};

    SameDiskVerdict v = checkOutputAgainstSource(image.string(), (mnt / "part/out").string(), tables);
    EXPECT_TRUE(v.same);
    EXPECT_NE(v.reason.find("/dev/loop9p1"), std::string::npos) << v.reason;
    EXPECT_NE(v.reason.find("/dev/loop9"), std::string::npos) << v.reason;
    // A folder still to be made is decided by the folder above it that exists.
    EXPECT_TRUE(checkOutputAgainstSource(image.string(), (mnt / "part/out/new/deeper").string(), tables).same);
    EXPECT_TRUE(checkOutputAgainstSource(image.string(), (mnt / "dm").string(), tables).same);
    EXPECT_TRUE(checkOutputAgainstSource(image.string(), (mnt / "fuse").string(), tables).same);
    // Another image's loop device, and file systems that do not lie on the image.
    EXPECT_FALSE(checkOutputAgainstSource(image.string(), (mnt / "other").string(), tables).same);
    EXPECT_TRUE(checkOutputAgainstSource(other.string(), (mnt / "other").string(), tables).same);
    EXPECT_FALSE(checkOutputAgainstSource(image.string(), (mnt / "holder").string(), tables).same);
    EXPECT_FALSE(checkOutputAgainstSource(image.string(), s.root.string(), tables).same);
    EXPECT_TRUE(checkOutputAgainstSource(image.string(), s.root.string(), tables).reason.empty());
}

// A block-device source: the folder's file system on one of its partitions, on a device-mapper
// device over it, or on a loop device over a file that lies on it, is refused; a sibling disk
// is not. The made-up tables name a real device node's number so that the source can be stat'ed.
TEST(SameDiskTables, DeviceSourceThroughItsPartitionsAndStackedDevices) {
    std::string node;
    dev_t number = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/dev", ec)) {
        struct stat st {};
        if (::stat(e.path().c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
            node = e.path().string();
            number = st.st_rdev;
            break;
        }
    }
    if (node.empty()) GTEST_SKIP() << "no block device node under /dev to stand for the source";
    const std::string num = std::to_string(major(number)) + ":" + std::to_string(minor(number));

    Scratch s;
    const fs::path sys = s.root / "sys";
    const fs::path disk = addDevice(sys, "srcdisk", num);
    addDevice(sys, "srcdisk1", "259:41", disk);
    addDevice(sys, "sibling", "259:50");
    const fs::path dm = addDevice(sys, "dm-7", "253:7");
    fs::create_directories(dm / "slaves");
    fs::create_symlink(disk / "srcdisk1", dm / "slaves" / "srcdisk1");
    const fs::path loop = addDevice(sys, "loop5", "7:5");
    const fs::path held = s.root / "held" / "file.img";  // a file on the source's partition
    writeFile(held, "x");
    writeFile(loop / "loop" / "backing_file", held.string() + "\n");

    for (const char* d : {"part", "dm", "loop", "sibling"}) fs::create_directories(s.root / d);
    const std::string r = s.root.string();
    writeFile(s.root / "mountinfo",
              "1 0 259:50 / / rw - ext4 /dev/sibling rw\n"
              "2 1 259:41 / " + r + "/part rw - ext4 /dev/srcdisk1 rw\n"
              "3 1 253:7 / " + r + "/dm rw - ext4 /dev/dm-7 rw\n"
              "4 1 7:5 / " + r + "/loop rw - ext4 /dev/loop5 rw\n"
              "5 1 259:41 / " + r + "/held rw - ext4 /dev/srcdisk1 rw\n"
              "6 1 259:50 / " + r + "/sibling rw - ext4 /dev/sibling rw\n");
    const SystemTables tables{(s.root / "mountinfo").string(), sys.string()};
    EXPECT_TRUE(checkOutputAgainstSource(node, r + "/part", tables).same);
    EXPECT_TRUE(checkOutputAgainstSource(node, r + "/dm", tables).same);
    EXPECT_TRUE(checkOutputAgainstSource(node, r + "/loop", tables).same);
    EXPECT_FALSE(checkOutputAgainstSource(node, r + "/sibling", tables).same);
}

namespace {

// The demo disk on a loop device with its partitions, the ext3 one ("Linux home", the fourth)
// mounted; everything undone at the end.
class MountedDemoDisk : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root (a loop device and a mount)";
        if (runCommand("command -v losetup").empty()) GTEST_SKIP() << "losetup is missing";
        image = (scratch.root / "demo.img").string();
        int status = 0;
        runCommand("xz -dc '" + std::string(QUARVELL_SOURCE_DIR) + "/resources/demo/demo-disk.img.xz' > '" + image + "'",
                   &status);
        ASSERT_EQ(status, 0);
        loop = std::make_unique<LoopDevice>(image, "-P");
        if (!loop->ok()) GTEST_SKIP() << loop->skipReason();
        mnt = (scratch.root / "home").string();
        fs::create_directories(mnt);
        // Without udev the partitions may come late and get no device node: add both.
        const std::string name = fs::path(loop->path()).filename().string();
        const fs::path sysPart = fs::path("/sys/block") / name / (name + "p4");
        for (int i = 0; i < 50 && !fs::exists(sysPart); ++i) ::usleep(20000);
        if (!fs::exists(sysPart)) runCommand("partx -a " + loop->path() + " 2>&1");
        if (!fs::exists(sysPart)) GTEST_SKIP() << "the kernel made no partitions for " << loop->path();
        partition = loop->path() + "p4";
        if (!fs::exists(partition)) {
            std::string dev;
            std::ifstream(sysPart / "dev") >> dev;
            runCommand("mknod " + partition + " b " + dev.substr(0, dev.find(':')) + " " + dev.substr(dev.find(':') + 1),
                       &status);
            madeNode = status == 0;
        }
        runCommand("mount -t ext4 " + partition + " '" + mnt + "' 2>&1", &status);
        if (status != 0) GTEST_SKIP() << "the ext3 partition could not be mounted";
        mounted = true;
    }
    void TearDown() override {
        if (mounted) runCommand("umount '" + mnt + "' 2>&1");
        if (madeNode) fs::remove(partition);
        loop.reset();
    }

    quarvell::testing::CliOutput cli(const std::string& args) {
        return quarvell::testing::CliOutput::run(QUARVELL_CLI, args);
    }

    Scratch scratch;
    std::string image, mnt, partition;
    bool madeNode = false;
    std::unique_ptr<LoopDevice> loop;
    bool mounted = false;
};

}  // namespace

TEST_F(MountedDemoDisk, CheckSeesThePartitionOfTheImageAndOfTheDevice) {
    EXPECT_TRUE(checkOutputAgainstSource(image, mnt).same);
    EXPECT_TRUE(checkOutputAgainstSource(loop->path(), mnt + "/later").same);       // the device, by its partition
    EXPECT_FALSE(checkOutputAgainstSource(loop->path() + "p1", mnt).same);          // another partition
    EXPECT_FALSE(checkOutputAgainstSource(image, scratch.root.string()).same);      // where the image file lies
}

TEST_F(MountedDemoDisk, RecoverAndCarveRefuseTheImagesOwnPartition) {
    const std::string volume = " --volume 4 --path ROOT";  // the HFS+ volume
    auto refused = cli("recover '" + image + "'" + volume + " --out '" + mnt + "/saved'");
    EXPECT_EQ(refused.exitCode, 2) << refused.err;
    EXPECT_NE(refused.err.find("is stored on"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(mnt + "/saved"));  // not even the folder was made there

    auto carve = cli("carve '" + image + "' --volume 4 --out '" + mnt + "/carved'");
    EXPECT_EQ(carve.exitCode, 2) << carve.err;
    EXPECT_FALSE(fs::exists(mnt + "/carved"));

    const std::string elsewhere = (scratch.root / "saved").string();
    auto allowed = cli("recover '" + image + "'" + volume + " --out '" + elsewhere + "' --yes");
    EXPECT_EQ(allowed.exitCode, 0) << allowed.err;
    EXPECT_FALSE(fs::is_empty(elsewhere));

    auto forced = cli("recover '" + image + "'" + volume + " --out '" + mnt + "/saved' --allow-same-disk --yes");
    EXPECT_EQ(forced.exitCode, 0) << forced.err;
    EXPECT_NE(forced.err.find("warning"), std::string::npos) << forced.err;
    EXPECT_FALSE(fs::is_empty(mnt + "/saved"));
}
