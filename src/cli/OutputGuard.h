#pragma once
// The same-disk refusal every writing command makes before it writes anything.
#include <string>

namespace quarvell::cli {

// kExitOk when outputFolder does not lie on the source; otherwise prints why and returns
// kExitBadInput, or with allowSameDisk warns and returns kExitOk.
int refuseSameDisk(const std::string& source, const std::string& outputFolder, bool allowSameDisk);

}  // namespace quarvell::cli
