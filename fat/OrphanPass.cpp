#include "fat/OrphanPass.h"

#include "fat/FatDirectoryEntry.h"
#include "fat/FatDirectoryParser.h"
#include "fat/OrphanEntries.h"

namespace undelete {

void FatOrphanCollector::take(uint32_t cluster, const uint8_t* bytes) {
    const uint32_t size = clusterBytes_;
    if (!looksLikeDirectoryCluster(bytes, size, clusterLimit_)) {
        flush();
        return;
    }
    uint32_t parent = 0;
    const bool first = startsDirectory(bytes, size, cluster, parent);
    // A folder's entries end at its end mark: a cluster after one that
    // holds it is another folder's.
    if (first || folder_.empty() || ended_ || cluster != last_ + 1 ||
        folder_.size() + size > kMaxFolderBytes) {
        flush();
        key_ = cluster;
        finds_.folders.add(cluster, first ? parent : 0);
    }
    folder_.insert(folder_.end(), bytes, bytes + size);
    last_ = cluster;
    ended_ = false;
    for (size_t at = 0; at + kDirEntrySize <= size && !ended_; at += kDirEntrySize) {
        ended_ = bytes[at] == kEntryEnd;
    }
}

void FatOrphanCollector::flush() {
    if (folder_.empty()) return;
    parseDirectory(
        folder_.data(), folder_.size(), key_, finds_.files,
        [&](const Subdirectory& sub) { namings_.push_back({sub.cluster, key_, sub.name}); }, true);
    folder_.clear();
}

void FatOrphanCollector::finish() {
    flush();
    for (const Naming& naming : namings_) {
        finds_.folders.name(naming.cluster, naming.container, naming.name);
    }
    namings_ = {};
}

OrphanPass::OrphanPass(BudgetedReader& reads, const ClusterMap& used,
                       const FreeClusterVolume& volume, FreeClusterHooks hooks)
    : reads_(reads), used_(used), volume_(volume), hooks_(std::move(hooks)) {}

void OrphanPass::run(OrphanFinds& finds) {
    FatOrphanCollector collector(volume_.clusterBytes, volume_.clusterLimit, finds);
    readFreeClusters(reads_, used_, volume_, hooks_,
                     [&](uint32_t cluster, const uint8_t* bytes) { collector.take(cluster, bytes); });
    collector.finish();
}

}  // namespace undelete
