#pragma once
// Writes small GPT disk images byte by byte: a protective MBR, a header and the entries given.
// No checksums: the scans do not read them.
#include <cstdint>
#include <string>
#include <vector>

namespace quarvell::testing {

struct GptEntry {
    uint64_t firstLba = 0;
    uint64_t lastLba = 0;
    std::string name;  // ASCII
};

class GptImage {
public:
    explicit GptImage(uint64_t diskSectors);

    void add(const GptEntry& entry);
    // Copies bytes to the disk at a sector (they must fit).
    void put(uint64_t sector, const std::vector<uint8_t>& bytes);
    void write(const std::string& path) const;

private:
    std::vector<uint8_t> disk_;
    int entries_ = 0;
};

}  // namespace quarvell::testing
