#include "ui/DriveSources.h"

#include <unistd.h>

namespace quarvell::ui {

DriveSources DriveSources::system() {
    DriveSources s;
    s.drives = [] { return listPhysicalDrives(); };
    s.volumes = [] { return listVolumes(); };
    s.readable = [](const std::string& path) { return ::access(path.c_str(), R_OK) == 0; };
    return s;
}

}  // namespace quarvell::ui
