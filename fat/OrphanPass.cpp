#include "fat/OrphanPass.h"

#include "fat/FatDirectoryEntry.h"
#include "fat/FatDirectoryParser.h"
#include "fat/OrphanEntries.h"

namespace undelete {

OrphanPass::OrphanPass(BudgetedReader& reads, const ClusterMap& used,
                       const FreeClusterVolume& volume, FreeClusterHooks hooks)
    : reads_(reads), used_(used), volume_(volume), hooks_(std::move(hooks)) {}

void OrphanPass::run(OrphanFinds& finds) {
    folder_.clear();
    namings_.clear();
    readFreeClusters(reads_, used_, volume_, hooks_,
                     [&](uint32_t cluster, const uint8_t* bytes) { take(cluster, bytes, finds); });
    flush(finds);
    // Names are given once every folder is known: a child may lie before
    // or after the folder that names it.
    for (const Naming& naming : namings_) {
        finds.folders.name(naming.cluster, naming.container, naming.name);
    }
    namings_ = {};
}

void OrphanPass::take(uint32_t cluster, const uint8_t* bytes, OrphanFinds& finds) {
    const uint32_t size = volume_.clusterBytes;
    if (!looksLikeDirectoryCluster(bytes, size, volume_.clusterLimit)) {
        flush(finds);
        return;
    }
    uint32_t parent = 0;
    const bool first = startsDirectory(bytes, size, cluster, parent);
    // A folder's entries end at its end mark: a cluster after one that
    // holds it is another folder's.
    if (first || folder_.empty() || ended_ || cluster != last_ + 1 ||
        folder_.size() + size > kMaxFolderBytes) {
        flush(finds);
        key_ = cluster;
        finds.folders.add(cluster, first ? parent : 0);
    }
    folder_.insert(folder_.end(), bytes, bytes + size);
    last_ = cluster;
    ended_ = false;
    for (size_t at = 0; at + kDirEntrySize <= size && !ended_; at += kDirEntrySize) {
        ended_ = bytes[at] == kEntryEnd;
    }
}

void OrphanPass::flush(OrphanFinds& finds) {
    if (folder_.empty()) return;
    parseDirectory(
        folder_.data(), folder_.size(), key_, finds.files,
        [&](const Subdirectory& sub) { namings_.push_back({sub.cluster, key_, sub.name}); }, true);
    folder_.clear();
}

}  // namespace undelete
