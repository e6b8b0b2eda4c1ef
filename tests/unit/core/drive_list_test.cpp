// The drive list over a made-up /sys: which block devices are offered as drives.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "disk/DriveList.h"

using namespace quarvell;
namespace fs = std::filesystem;

namespace {
void device(const fs::path& sys, const std::string& name, const std::string& size, const std::string& model = "") {
    fs::create_directories(sys / "block" / name / "device");
    std::ofstream(sys / "block" / name / "size") << size << "\n";
    if (!model.empty()) std::ofstream(sys / "block" / name / "device" / "model") << model << "   \n";
}
}  // namespace

TEST(DriveList, AttachedLoopDevicesAreDrivesDetachedOnesAndMemoryDisksAreNot) {
    const fs::path sys = fs::temp_directory_path() / ("quarvell-drives-" + std::to_string(::getpid()));
    fs::remove_all(sys);
    device(sys, "sdb", "2048", "DISK B");
    device(sys, "loop3", "204800");  // an attached image: 100 MiB
    device(sys, "loop0", "0");       // detached
    device(sys, "ram0", "8192");
    device(sys, "zram0", "8192");
    device(sys, "sda", "1000", "DISK A");
    const auto drives = listPhysicalDrives(sys.string());
    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[0].path, "/dev/loop3");
    EXPECT_EQ(drives[0].sizeBytes, 204800u * 512);
    EXPECT_EQ(drives[0].displayText(), "/dev/loop3");  // no model: the device path
    EXPECT_EQ(drives[1].displayText(), "DISK A");
    EXPECT_EQ(drives[2].path, "/dev/sdb");
    fs::remove_all(sys);
}
