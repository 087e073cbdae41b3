#include "fat/OrphanPass.h"

#include <algorithm>

#include "fat/OrphanEntries.h"

namespace undelete {

// Takes the clusters of one stretch as they arrive and reads each one that
// the walk has not read as directory entries; clusters that cannot be read
// are passed over.
class OrphanPass::Sink : public ContentSink {
public:
    Sink(const OrphanPass& pass, uint32_t folder, std::vector<DeletedEntry>& catalogue)
        : pass_(pass), folder_(folder), catalogue_(catalogue) {}

    void startAt(uint32_t cluster) { next_ = cluster; }

    bool begin(uint64_t) override { return true; }
    bool write(const uint8_t* bytes, size_t count) override {
        const uint32_t size = pass_.volume_.clusterBytes;
        for (size_t at = 0; size_t{size} <= count - at; at += size, ++next_) take(bytes + at);
        return true;
    }
    bool skip(uint64_t count) override {
        next_ += static_cast<uint32_t>(count / pass_.volume_.clusterBytes);
        return true;
    }

private:
    void take(const uint8_t* bytes) {
        if (pass_.hooks_.walked && pass_.hooks_.walked(next_)) return;
        OrphanCluster found =
            readOrphanCluster(bytes, pass_.volume_.clusterBytes, pass_.volume_.clusterLimit, folder_);
        for (DeletedEntry& entry : found.files) catalogue_.push_back(std::move(entry));
    }

    const OrphanPass& pass_;
    const uint32_t folder_;
    std::vector<DeletedEntry>& catalogue_;
    uint32_t next_ = 0;  // the cluster the next bytes are
};

OrphanPass::OrphanPass(DriveReader& drive, BudgetedReader& reads, const ClusterMap& used,
                       const OrphanPassVolume& volume, OrphanPassHooks hooks)
    : drive_(drive), reads_(reads), used_(used), volume_(volume), hooks_(std::move(hooks)) {}

void OrphanPass::run(uint32_t folder, std::vector<DeletedEntry>& catalogue) {
    const uint32_t size = volume_.clusterBytes;
    const auto limit = static_cast<uint32_t>(std::min<uint64_t>(volume_.clusterLimit, used_.limit()));
    if (size == 0 || limit <= 2) return;
    const uint32_t pieceClusters = std::max<uint32_t>(1, kPieceBytes / size);
    std::vector<uint8_t> piece;  // had at the first piece read, not for windows
    Sink sink(*this, folder, catalogue);
    const uint64_t total = used_.freeBetween(2, limit);
    uint64_t done = 0;
    // Each stretch of free clusters is read from its start to the next used
    // one, a piece at a time; between pieces the pass may be stopped.
    for (auto c = static_cast<uint32_t>(used_.nextFree(2)); c < limit;) {
        if ((hooks_.stop && hooks_.stop()) || reads_.spent()) return;
        const auto end = static_cast<uint32_t>(std::min<uint64_t>(used_.nextUsed(c), limit));
        const uint32_t n = std::min(end - c, pieceClusters);
        sink.startAt(c);
        const uint64_t offset = volume_.firstDataOffset + uint64_t{c - 2u} * size;
        const uint64_t bytes = uint64_t{n} * size;
        if (const std::unique_ptr<DeviceView> window = drive_.view(offset, bytes)) {
            sink.write(window->bytes(), static_cast<size_t>(bytes));
        } else {
            if (piece.empty()) piece.resize(size_t{pieceClusters} * size);
            reads_.stream(offset, bytes, size, sink, piece);
        }
        c += n;
        done += n;
        if (hooks_.progress) hooks_.progress(done, total);
        if (c >= end) c = static_cast<uint32_t>(used_.nextFree(end));
    }
}

}  // namespace undelete
