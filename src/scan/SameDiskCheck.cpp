#include "scan/SameDiskCheck.h"

namespace quarvell {

SameDiskVerdict checkOutputAgainstSource(const std::string&, const std::string&) { return {}; }

}  // namespace quarvell
