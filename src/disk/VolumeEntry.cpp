#include "disk/VolumeEntry.h"

#include "common/TextFormat.h"

namespace quarvell {

uint64_t VolumeEntry::lengthInSectors() const {
    if (sectorCount != 0) return sectorCount;
    int64_t mib = leadingNumber(sizeText);
    return mib > 0 ? uint64_t(mib) * 2048 : 0;
}

}  // namespace quarvell
