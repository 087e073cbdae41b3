// Where a deleted exFAT file's content lies: its valid data's clusters in
// the layout its set and the FAT give, and its state from the allocation
// bitmap.
#include <memory>

#include "exfat/ExfatScanner.h"
#include "scan/FileStates.h"

namespace undelete {

bool ExfatScanner::layout(const Item& item, FileLayout& where) {
    where.length = item.dataLength;
    where.validLength = item.validDataLength;
    where.clusters = {firstDataOffset_, 2, clusterBytes_};
    where.guessed = item.layout == ExfatLayout::FreeAfterFirst;
    where.mustCover = true;
    if (item.dataLength == 0) return true;
    if (!item.extentValid || !fat_) return false;
    // Only the clusters of the valid data are content.
    const uint64_t clusters = clustersFor(item.validDataLength);
    if (clusters == 0) return true;
    if (!validCluster(item.firstCluster)) return false;
    where.extents =
        exfatClusters(item.layout, item.firstCluster, clusters, *fat_, bitmap_, clusterLimit_);
    return true;
}

bool ExfatScanner::layout(uint32_t index, FileLayout& where) {
    return index < catalogue_.size() && layout(catalogue_[index], where);
}

FileState ExfatScanner::stateOf(const Item& item) {
    if (clustersFor(item.validDataLength) == 0) return FileState::Intact;  // nothing to lose
    // A set that does not check is not sure to be what was written.
    if (!item.checksumValid || !item.extentValid) return FileState::Unknown;
    FileLayout where;
    return layoutState(layout(item, where) ? &where : nullptr, bitmap_, bitmapKnown_);
}

}  // namespace undelete
