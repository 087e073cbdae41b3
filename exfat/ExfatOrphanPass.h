// The deeper scan of an exFAT volume: every free cluster the directory walk
// did not read is read once, in large pieces (scan/FreeClusterPass.h), and
// the clusters that hold directory entries give the entry sets whose
// checksum holds, deleted or not (a folder nothing links to any more: all
// of them, after a format). Clusters that follow one another are read as
// one folder, so a set may run from one into the next, until one holds an
// end mark or a found folder's entry names the next as a folder's first. exFAT folders do not
// name their parent: a folder's parent is the found folder whose entry
// names it (scan/FoundFolders.h).
#pragma once
#include <cstdint>
#include <vector>

#include "exfat/ExfatDirectory.h"
#include "scan/FoundFolders.h"
#include "scan/FreeClusterPass.h"

namespace undelete {

struct ExfatOrphanFinds {
    struct File {
        ExfatEntrySet set;
        uint32_t folder = 0;  // the first cluster of the found folder it lies in
    };
    std::vector<File> files;
    FoundFolders folders;
};

// What the pass collects, cluster by cluster; pure, for tests and fuzzing.
class ExfatOrphanCollector {
public:
    // A folder is read at most this long before it is cut.
    static constexpr uint32_t kMaxFolderBytes = 2u << 20;

    explicit ExfatOrphanCollector(const ExfatWalkBounds& bounds) : bounds_(bounds) {}
    // Cluster `cluster`'s clusterBytes bytes; clusters come in rising order.
    void take(uint32_t cluster, const uint8_t* bytes);
    // Links what was taken into `finds`. May throw std::bad_alloc.
    void finish(ExfatOrphanFinds& finds);

private:
    struct Found {
        ExfatEntrySet set;
        uint32_t cluster;  // where its File entry lies
    };
    void flush();

    ExfatWalkBounds bounds_;
    std::vector<uint8_t> run_;  // the clusters that follow one another, read so far
    uint32_t runStart_ = 0;
    bool ended_ = false;  // the run's last cluster holds an end mark
    // Every cluster read as entries, and whether a run started there.
    std::vector<std::pair<uint32_t, bool>> clusters_;
    std::vector<Found> sets_;
};

void findExfatOrphans(BudgetedReader& reads, const ClusterMap& used,
                      const FreeClusterVolume& volume, const FreeClusterHooks& hooks,
                      ExfatOrphanFinds& finds);

}  // namespace undelete
