#include "exfat/ExfatOrphanPass.h"

#include <unordered_map>
#include <unordered_set>

namespace undelete {

void ExfatOrphanCollector::take(uint32_t cluster, const uint8_t* bytes) {
    const uint32_t size = bounds_.clusterBytes;
    if (!readsAsExfatEntries(bytes, size)) {
        flush();
        return;
    }
    // A folder's entries end at its end mark: a cluster after one that
    // holds it is another folder's.
    const bool follows = !run_.empty() && !ended_ && cluster == runStart_ + run_.size() / size &&
                         run_.size() + size <= kMaxFolderBytes;
    if (!follows) {
        flush();
        runStart_ = cluster;
    }
    run_.insert(run_.end(), bytes, bytes + size);
    clusters_.emplace_back(cluster, !follows);
    ended_ = false;
    for (size_t at = 0; at + kExfatEntrySize <= size && !ended_; at += kExfatEntrySize) {
        ended_ = bytes[at] == kExfatEndOfDirectory;
    }
}

void ExfatOrphanCollector::flush() {
    if (run_.empty()) return;
    const uint32_t size = bounds_.clusterBytes;
    walkExfatDirectory(run_.data(), run_.size(), bounds_, [&](const ExfatEntrySet& set) {
        if (!set.checksumValid) return;  // no word of the disk vouches for it
        sets_.push_back({set, runStart_ + static_cast<uint32_t>(set.offset / size)});
    });
    run_.clear();
}

void ExfatOrphanCollector::finish(ExfatOrphanFinds& finds) {
    flush();
    // A cluster some found entry names as a folder's first starts that
    // folder; any other follows the folder of the cluster before it.
    std::unordered_set<uint32_t> firsts;
    for (const Found& found : sets_) {
        if (isWalkableExfatDirectory(found.set)) firsts.insert(found.set.firstCluster);
    }
    std::unordered_map<uint32_t, uint32_t> folderOf;
    uint32_t folder = 0;
    for (const auto& [cluster, starts] : clusters_) {
        if (starts || firsts.count(cluster) != 0) {
            folder = cluster;
            finds.folders.add(cluster);
        }
        folderOf.emplace(cluster, folder);
    }
    for (Found& found : sets_) {
        const uint32_t in = folderOf.at(found.cluster);
        if (found.set.isDirectory()) {
            if (isWalkableExfatDirectory(found.set)) {
                finds.folders.name(found.set.firstCluster, in, found.set.name);
            }
        } else {
            finds.files.push_back({std::move(found.set), in});
        }
    }
    clusters_ = {};
    sets_ = {};
}

void findExfatOrphans(BudgetedReader& reads, const ClusterMap& used,
                      const FreeClusterVolume& volume, const FreeClusterHooks& hooks,
                      ExfatOrphanFinds& finds) {
    ExfatOrphanCollector collector({volume.clusterLimit, volume.clusterBytes});
    readFreeClusters(reads, used, volume, hooks,
                     [&](uint32_t cluster, const uint8_t* bytes) { collector.take(cluster, bytes); });
    collector.finish(finds);
}

}  // namespace undelete
