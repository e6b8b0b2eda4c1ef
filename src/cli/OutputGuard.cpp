#include "cli/OutputGuard.h"

#include <cstdio>

#include "cli/CliCommand.h"
#include "scan/SameDiskCheck.h"

namespace quarvell::cli {

int refuseSameDisk(const std::string& source, const std::string& outputFolder, bool allowSameDisk) {
    const SameDiskVerdict verdict = checkOutputAgainstSource(source, outputFolder);
    if (!verdict.same) return kExitOk;
    if (allowSameDisk) {
        std::fprintf(stderr, "quarvell-cli: warning: %s; writing there anyway (--allow-same-disk)\n",
                     verdict.reason.c_str());
        return kExitOk;
    }
    return badInput(verdict.reason + "; choose an output folder on another disk (or give --allow-same-disk)");
}

}  // namespace quarvell::cli
