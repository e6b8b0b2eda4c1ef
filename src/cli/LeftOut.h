#pragma once
// The end of a summary line for folders a walk did not open: too deep below the folder-depth
// cap, or met again inside themselves. Empty when nothing was left out.
#include <cstdint>
#include <string>

#include "common/TextFormat.h"

namespace quarvell::cli {

inline std::string leftOutText(uint64_t tooDeep, uint64_t loops) {
    std::string text;
    if (tooDeep) text += format(", %llu entries too deep left out", static_cast<unsigned long long>(tooDeep));
    if (loops) text += format(", %llu folder loops not followed", static_cast<unsigned long long>(loops));
    return text;
}

}  // namespace quarvell::cli
