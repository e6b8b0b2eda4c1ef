#include "disk/DriveList.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "common/TextFormat.h"
#include "disk/FileReadSeek.h"
#include "disk/BootRecord.h"
#include "fs/fat/FatProbe.h"

namespace quarvell {

namespace fs = std::filesystem;

namespace {

std::string readLine(const fs::path& p) {
    std::ifstream in(p);
    std::string line;
    std::getline(in, line);
    return trim(line);
}

uint64_t sysSizeBytes(const fs::path& dir) {
    // /sys reports sizes in 512-byte units whatever the device's sector size.
    std::string s = readLine(dir / "size");
    int64_t n = leadingNumber(s);
    return n > 0 ? uint64_t(n) * 512 : 0;
}

// Memory-backed devices hold nothing to recover. Loop devices are listed: an attached one is a
// disk image made a device (a detached one has size 0 and is left out with every empty device).
bool ignoredDevice(const std::string& name) { return name.rfind("ram", 0) == 0 || name.rfind("zram", 0) == 0; }

// The file-system type udev found on a device ("vfat", "ntfs", "ext4"...), empty when unknown.
std::string udevFsType(const std::string& udevDataRoot, const std::string& devNumbers) {
    std::ifstream in(udevDataRoot + "/b" + devNumbers);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("E:ID_FS_TYPE=", 0) == 0) return line.substr(13);
    return {};
}

// Our own look at the first sectors, for machines without udev data.
std::string probeFsType(const std::string& device, uint8_t* head) {
    FileReadSeek r;
    if (!r.open(device)) return {};
    std::memset(head, 0, 2048);
    if (!r.seek(0) || !r.read(head, 2048)) return {};
    const BootRecordMatch m = classifyVolumeStart(head);
    if (m.label == "NTFS") return "ntfs";
    if (m.label == "FAT64") return "exfat";
    if (m.label == "HFS+") return "hfsplus";
    if (m.label == "extX") return "ext2";
    if (!m.label.empty()) return "vfat";
    return {};
}

}  // namespace

std::string labelForFsType(const std::string& linuxType, const uint8_t* bootSector) {
    const std::string t = toLower(linuxType);
    if (t == "vfat" || t == "fat" || t == "msdos") {
        std::string fat = bootSector ? fatLabel(bootSector) : std::string();
        return fat.empty() ? "FAT32" : fat;
    }
    if (t == "exfat") return "FAT64";
    if (t == "ntfs" || t == "ntfs3") return "NTFS";
    if (t == "hfsplus") return "HFS+";
    if (t == "ext2" || t == "ext3" || t == "ext4") return "extX";
    return linuxType;
}

std::vector<DriveInfo> listPhysicalDrives(const std::string& sysRoot) {
    std::vector<DriveInfo> drives;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(sysRoot) / "block", ec)) {
        const std::string name = entry.path().filename().string();
        const uint64_t size = sysSizeBytes(entry.path());
        if (size == 0 || ignoredDevice(name)) continue;
        DriveInfo d;
        d.path = "/dev/" + name;
        d.model = readLine(entry.path() / "device" / "model");
        d.sizeBytes = size;
        drives.push_back(d);
    }
    std::sort(drives.begin(), drives.end(), [](const DriveInfo& a, const DriveInfo& b) { return a.path < b.path; });
    return drives;
}

std::vector<VolumeEntry> listVolumes(const std::string& sysRoot, const std::string& devRoot,
                                     const std::string& udevDataRoot) {
    std::vector<VolumeEntry> volumes;
    for (const DriveInfo& drive : listPhysicalDrives(sysRoot)) {
        const fs::path driveDir = fs::path(sysRoot) / "block" / fs::path(drive.path).filename();
        std::vector<fs::path> parts;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(driveDir, ec))
            if (fs::exists(entry.path() / "partition")) parts.push_back(entry.path());
        std::sort(parts.begin(), parts.end());
        for (const fs::path& part : parts) {
            const std::string name = part.filename().string();
            const std::string device = devRoot + "/" + name;
            uint8_t head[2048] = {};
            std::string type = udevFsType(udevDataRoot, readLine(part / "dev"));
            const bool probed = type.empty();
            if (probed) type = probeFsType(device, head);
            if (type.empty()) continue;
            if (!probed && (type == "vfat" || type == "msdos")) probeFsType(device, head);
            VolumeEntry v;
            v.fileSystem = labelForFsType(type, head[0] ? head : nullptr);
            v.displayName = device;
            v.volumeName = device;
            v.sectorCount = sysSizeBytes(part) / 512;
            v.sizeText = format("%d  MB", int(v.sectorCount * 512 / 1048576));
            v.startSector = 0;
            volumes.push_back(v);
        }
    }
    return volumes;
}

}  // namespace quarvell
