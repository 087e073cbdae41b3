#include "exfat/ExfatFat.h"

namespace undelete {

namespace {

constexpr size_t kKeptPieces = 4;

}  // namespace

ExfatFat::ExfatFat(DriveReader& drive, uint64_t offset, uint32_t clusterLimit)
    : pieces_(drive, TableLocation{offset, uint64_t{clusterLimit} * 4, 0, 1}, kKeptPieces),
      clusterLimit_(clusterLimit) {}

bool ExfatFat::entry(uint32_t cluster, uint32_t& value) {
    return cluster < clusterLimit_ && pieces_.entry(cluster, value);
}

bool ExfatFat::next(uint32_t cluster, uint32_t& following) {
    return entry(cluster, following) && following >= 2 && following < clusterLimit_;
}

bool ExfatFat::chainHolds(uint32_t first, uint64_t clusters) {
    if (clusters == 0 || first < 2 || first >= clusterLimit_ || clusters > clusterLimit_) {
        return false;
    }
    // A loop never reaches the end mark within `clusters` steps.
    uint32_t c = first;
    for (uint64_t n = 1; n < clusters; ++n) {
        if (!next(c, c)) return false;
    }
    uint32_t last = 0;
    return entry(c, last) && last == kExfatEndOfChain;
}

}  // namespace undelete
