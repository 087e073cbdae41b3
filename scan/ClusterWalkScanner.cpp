#include "scan/ClusterWalkScanner.h"

namespace undelete {

void ClusterWalkScanner::beginWalk() {
    folders_.clear();
    walkedClusters_.clear();
    depth_ = 0;
    toldOutside_ = false;
    walkReads_ = std::make_unique<BudgetedReader>(drive_, kMaxConsecutiveReadFailures);
}

FreeClusterHooks ClusterWalkScanner::freeClusterHooks() {
    FreeClusterHooks hooks;
    hooks.walked = [this](uint32_t cluster) { return wasWalked(cluster); };
    hooks.stop = [this] { return stopped(); };
    hooks.progress = passProgress_;
    return hooks;
}

}  // namespace undelete
