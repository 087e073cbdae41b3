#include "ntfs/RecordSearch.h"

#include <algorithm>
#include <cstring>

namespace undelete {
namespace {

constexpr uint32_t kUsualCluster = 4096;

}  // namespace

bool acceptFoundRecord(const uint8_t* bytes, uint32_t recordSize, uint64_t place,
                       uint32_t bytesPerCluster, MftRecordInfo& info) {
    if (bytes == nullptr || bytesPerCluster == 0 || !isMftRecordSize(recordSize) ||
        std::memcmp(bytes, "FILE", 4) != 0) {
        return false;
    }
    info = MftRecordInfo{};
    if (!parseRecord(bytes, recordSize, false, info)) return false;
    if (!info.numbered || info.allocatedBytes != recordSize) return false;
    // Where its table would start; the subtraction may wrap, only the
    // remainder counts. An older table may have had smaller clusters than
    // the volume has now, down to the usual 4 KiB.
    const uint64_t tableStart = place - uint64_t{info.recordNumber} * recordSize;
    return tableStart % std::min(bytesPerCluster, kUsualCluster) == 0;
}

bool FoundRecords::add(const FoundRecord& record) {
    if (full()) return false;
    records_.push_back(record);
    return true;
}

void FoundRecords::finish() {
    std::sort(records_.begin(), records_.end(), [](const FoundRecord& a, const FoundRecord& b) {
        if (a.number != b.number) return a.number < b.number;
        if (a.sequence != b.sequence) return a.sequence > b.sequence;
        return a.position < b.position;
    });
    records_.erase(std::unique(records_.begin(), records_.end(),
                               [](const FoundRecord& a, const FoundRecord& b) {
                                   return a.number == b.number;
                               }),
                   records_.end());
    records_.shrink_to_fit();
}

const FoundRecord* FoundRecords::find(uint64_t number) const {
    auto it = std::lower_bound(records_.begin(), records_.end(), number,
                               [](const FoundRecord& r, uint64_t n) { return r.number < n; });
    return it != records_.end() && it->number == number ? &*it : nullptr;
}

RecordSearch::RecordSearch(BudgetedReader& reads, const SearchVolume& volume, SearchHooks hooks)
    : reads_(reads), volume_(volume), hooks_(std::move(hooks)) {}

bool RecordSearch::ended(const FoundRecords& found) {
    return (hooks_.stop && hooks_.stop()) || reads_.spent() || found.full();
}

void RecordSearch::tell() {
    const uint32_t cluster = volume_.clusterBytes;
    if (hooks_.progress) hooks_.progress(done_ / cluster, total_ / cluster);
}

void RecordSearch::run(const ClusterMap* used, std::vector<ByteRange> live,
                       const std::vector<ByteRange>& tail, FoundRecords& found) {
    const uint32_t cluster = volume_.clusterBytes;
    if (cluster == 0 || !isMftRecordSize(volume_.recordSize)) return;
    const uint64_t clusters = used ? std::min(volume_.clusters, used->limit()) : volume_.clusters;
    if (clusters > (UINT64_MAX - volume_.start) / cluster) return;
    std::sort(live.begin(), live.end(),
              [](const ByteRange& a, const ByteRange& b) { return a.begin < b.begin; });
    live_ = std::move(live);
    const auto at = [&](uint64_t c) { return volume_.start + c * cluster; };
    // The tail's clusters in use: the free ones are read with the others.
    std::vector<ByteRange> tailUsed;
    if (used != nullptr) {
        for (const ByteRange& r : tail) {
            if (r.begin < volume_.start || r.end > at(clusters)) continue;
            for (uint64_t c = (r.begin - volume_.start) / cluster; at(c) < r.end;) {
                const bool isUsed = used->used(c);
                const uint64_t next = std::min(isUsed ? used->nextFree(c) : used->nextUsed(c), clusters);
                const uint64_t end = next > c ? next : c + 1;
                if (isUsed) tailUsed.push_back({std::max(r.begin, at(c)), std::min(r.end, at(end))});
                c = end;
            }
        }
    }
    total_ = (used ? used->freeBetween(0, clusters) : clusters) * cluster;
    for (const ByteRange& r : tailUsed) total_ += r.end - r.begin;
    done_ = 0;
    for (uint64_t c = used ? used->nextFree(0) : 0; c < clusters && !ended(found);) {
        const uint64_t end = used ? std::min(used->nextUsed(c), clusters) : clusters;
        readOutsideLive(at(c), at(end), found);
        c = used ? used->nextFree(end) : end;
    }
    for (const ByteRange& r : tailUsed) {
        if (ended(found)) break;
        readStretch(r.begin, r.end, found);
    }
    done_ = std::max(done_, total_);
    tell();
}

void RecordSearch::readOutsideLive(uint64_t begin, uint64_t end, FoundRecords& found) {
    for (const ByteRange& l : live_) {
        if (l.end <= begin) continue;
        if (l.begin >= end) break;
        if (l.begin > begin) readStretch(begin, l.begin, found);
        begin = std::max(begin, l.end);
        if (begin >= end) return;
    }
    if (begin < end) readStretch(begin, end, found);
}

// Slots lie at steps of a record, or of a cluster where clusters are
// smaller; a piece ends on a slot, so that no byte is read twice but a
// record cut by a piece's end where clusters are smaller than records.
void RecordSearch::readStretch(uint64_t begin, uint64_t end, FoundRecords& found) {
    const uint32_t size = volume_.recordSize;
    const uint32_t step = std::min(size, volume_.clusterBytes);
    const uint64_t offset = (begin - volume_.start) % step;
    if (offset != 0) begin += step - offset;
    while (begin < end && end - begin >= size && !ended(found)) {
        const uint64_t length = std::min<uint64_t>(end - begin, kPieceBytes);
        // Read into a buffer, not mapped: a pass that touches each page
        // once pays more for mapping it than for copying it (measured on an
        // image file: twice the time).
        // No larger than the stretches need: a small volume's search does
        // not clear a whole piece.
        if (piece_.size() < length) piece_.resize(static_cast<size_t>(length));
        uint64_t p = 0;
        if (reads_.tryRead(begin, piece_.data(), static_cast<uint32_t>(length))) {
            for (; p + size <= length; p += step) take(piece_.data() + p, begin + p, found);
        } else {
            readSlots(begin, length, found);
            p = (length - size) / step * step + step;
        }
        begin += p;
        done_ += p;
        tell();
    }
}

// A piece that cannot be read whole is read a slot at a time; each failure
// counts against the budget.
void RecordSearch::readSlots(uint64_t at, uint64_t length, FoundRecords& found) {
    const uint32_t size = volume_.recordSize;
    const uint32_t step = std::min(size, volume_.clusterBytes);
    uint8_t record[kMaxMftRecordBytes];
    for (uint64_t p = 0; p + size <= length && !reads_.spent(); p += step) {
        if (reads_.read(at + p, record, size)) take(record, at + p, found);
    }
}

void RecordSearch::take(const uint8_t* bytes, uint64_t position, FoundRecords& found) {
    if (std::memcmp(bytes, "FILE", 4) != 0) return;
    MftRecordInfo info;
    if (!acceptFoundRecord(bytes, volume_.recordSize, position - volume_.start,
                           volume_.clusterBytes, info)) {
        return;
    }
    found.add({info.recordNumber, position, info.sequenceNumber});
}

}  // namespace undelete
