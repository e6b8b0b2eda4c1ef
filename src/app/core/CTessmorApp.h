#pragma once
// The wizard's shared state: the medium being recovered (its one sector reader and size) and the
// values that later pages and the parsers read. Plain C++ so the tests share it with the
// desktop program.
#include <cstdint>
#include <string>

#include "disk/SourceMedium.h"

namespace quarvell {

class CTessmorApp : public SourceMedium {
public:
    bool driveFormatted = false;
    int32_t previousDialogId = 0;
    bool isVolumeSelected = false;
    std::string searchText;
    std::string rootName = "ROOT";
};

}  // namespace quarvell
