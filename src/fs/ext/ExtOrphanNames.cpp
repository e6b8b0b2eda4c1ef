#include "fs/ext/ExtOrphanNames.h"

#include "common/InstallPaths.h"
#include "raw/SignatureLoader.h"
#include "raw/myJpg.h"

namespace quarvell {

ExtOrphanNames::ExtOrphanNames() = default;
ExtOrphanNames::~ExtOrphanNames() = default;

std::string ExtOrphanNames::name(uint64_t inode, const uint8_t* firstBytes, size_t count) {
    if (!loaded_) {
        loaded_ = true;
        SignatureLoader loader;
        loader.loadDefaultSignatures(defaultCataloguePath());
        if (loader.engine && loader.engine->prepareMatcher()) engine_ = std::move(loader.engine);
    }
    std::string ext = "bin";
    if (engine_ && firstBytes && count > 0) {
        const MatchResult m = engine_->matchAt(firstBytes, count);
        if (m.kind == 'S' && m.number >= 0 && size_t(m.number) < engine_->signatures.size()) {
            const std::string found = engine_->extensionText(size_t(m.number));
            if (!found.empty()) ext = found;
        }
    }
    return std::to_string(inode) + "." + ext;
}

}  // namespace quarvell
