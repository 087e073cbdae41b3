#include "scan/FreeClusterPass.h"

#include <algorithm>
#include <vector>

namespace undelete {
namespace {

// Takes the clusters of one stretch as they arrive; clusters that cannot be
// read are skipped.
class ClusterSink : public ContentSink {
public:
    ClusterSink(const FreeClusterVolume& volume, const FreeClusterHooks& hooks,
                const FreeClusterVisitor& take)
        : volume_(volume), hooks_(hooks), take_(take) {}

    void startAt(uint32_t cluster) { next_ = cluster; }

    bool begin(uint64_t) override { return true; }
    bool write(const uint8_t* bytes, size_t count) override {
        const uint32_t size = volume_.clusterBytes;
        for (size_t at = 0; size_t{size} <= count - at; at += size, ++next_) {
            if (!hooks_.walked || !hooks_.walked(next_)) take_(next_, bytes + at);
        }
        return true;
    }
    bool skip(uint64_t count) override {
        next_ += static_cast<uint32_t>(count / volume_.clusterBytes);
        return true;
    }

private:
    const FreeClusterVolume& volume_;
    const FreeClusterHooks& hooks_;
    const FreeClusterVisitor& take_;
    uint32_t next_ = 0;  // the cluster the next bytes are
};

}  // namespace

void readFreeClusters(BudgetedReader& reads, const ClusterMap& used,
                      const FreeClusterVolume& volume, const FreeClusterHooks& hooks,
                      const FreeClusterVisitor& take) {
    const uint32_t size = volume.clusterBytes;
    const auto limit = static_cast<uint32_t>(std::min<uint64_t>(volume.clusterLimit, used.limit()));
    if (size == 0 || limit <= 2) return;
    const uint32_t pieceClusters = std::max<uint32_t>(1, kFreeClusterPieceBytes / size);
    std::vector<uint8_t> piece;  // had at the first piece read
    ClusterSink sink(volume, hooks, take);
    const uint64_t total = used.freeBetween(2, limit);
    uint64_t done = 0;
    // Each stretch of free clusters is read from its start to the next used
    // one, a piece at a time; between pieces the pass may be stopped.
    for (auto c = static_cast<uint32_t>(used.nextFree(2)); c < limit;) {
        if ((hooks.stop && hooks.stop()) || reads.spent()) return;
        const auto end = static_cast<uint32_t>(std::min<uint64_t>(used.nextUsed(c), limit));
        const uint32_t n = std::min(end - c, pieceClusters);
        sink.startAt(c);
        const uint64_t offset = volume.firstDataOffset + uint64_t{c - 2u} * size;
        const uint64_t bytes = uint64_t{n} * size;
        if (piece.empty()) piece.resize(size_t{pieceClusters} * size);
        reads.stream(offset, bytes, size, sink, piece);
        c += n;
        done += n;
        if (hooks.progress) hooks.progress(done, total);
        if (c >= end) c = static_cast<uint32_t>(used.nextFree(end));
    }
}

}  // namespace undelete
