#pragma once
// Names for recovered files that no directory entry names: "<inode>.<ext>", with the extension
// of the first signature of the default catalogue whose header the file's first bytes match,
// else "bin". The catalogue is loaded on the first name asked for.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace quarvell {

class myJpg;

class ExtOrphanNames {
public:
    ExtOrphanNames();
    ~ExtOrphanNames();
    std::string name(uint64_t inode, const uint8_t* firstBytes, size_t count);

private:
    std::unique_ptr<myJpg> engine_;
    bool loaded_ = false;
};

}  // namespace quarvell
