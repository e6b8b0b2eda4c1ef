#pragma once
// The file-system fixtures of every kind in the table (tests/fixtures/<kind id>/*.img.xz with
// their manifests), unpacked once per test run, and the scan page opened on one of them.
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <string>
#include <vector>

#include "fs/FileSystemKind.h"

class WizardDriver;
namespace quarvell::ui {
class VolumeScanDlg;
}

struct ManifestEntry {
    std::string path;  // "/" separated, from the volume root
    bool folder = false;
    bool deleted = false;
    uint64_t size = 0;
    std::string sha256;
};

struct FsFixture {
    const quarvell::FileSystemKind* kind = nullptr;
    std::string name;   // "<kind id>/<image name>"
    std::string image;  // the unpacked volume
    std::string label;
    int parseMode = 1;  // as the mode page keeps it
    std::vector<ManifestEntry> entries;

    // Every standard and deep fixture of every kind in the table.
    static std::vector<FsFixture> all();
};

// The SHA-256 of a file's bytes in hex; "(missing)" when it cannot be read.
std::string sha256Of(const QString& path);

// Opens the reader on the fixture and the scan page for it, as the mode page's Next does.
// startPaused: the job's gate is closed before the parse starts, so it waits at its first poll.
quarvell::ui::VolumeScanDlg* openScanPage(WizardDriver& wizard, const FsFixture& fixture, bool startPaused = false,
                                         const std::string& label = {});
// Waits (with a deadline) until the page's job has ended.
bool waitUntilIdle(quarvell::ui::VolumeScanDlg* page, int ms = 30000);
