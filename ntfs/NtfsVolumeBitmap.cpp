#include <algorithm>
#include <new>

#include "ntfs/NtfsScanner.h"

namespace undelete {
namespace {

constexpr uint64_t kBitmapRecord = 6;

// A piece that cannot be read makes the whole map unknown rather than
// wrongly free.
class BitmapSink : public BufferSink {
public:
    using BufferSink::BufferSink;
    bool lost(uint64_t) override { return false; }
};

}  // namespace

// Read once, in pieces, through the record map; its size is bounded by the
// volume's cluster count, not by what record 6 claims.
void NtfsScanner::loadBitmap() {
    MftRecordInfo info;
    if (!readTableRecord(kBitmapRecord, MftTableReader::Slot::Lookup, false, info)) return;
    const uint64_t clusters = (volumeEnd_ - partitionOffset_) / bytesPerCluster_;
    const uint64_t wanted = clusters / 8 + (clusters % 8 != 0);
    std::vector<uint8_t> bits;
    try {
        if (!info.nonResident()) {
            const auto n = std::min<uint64_t>(static_cast<uint64_t>(info.dataLength), wanted);
            bits.assign(info.residentData.begin(), info.residentData.begin() + n);
        } else {
            const uint64_t length = std::min({info.dataSize, info.allocatedSize, wanted});
            BitmapSink sink(bits, length);
            if (!runsInside(info, length) || !sink.begin(length) ||
                !streamRuns(info, length, sink)) {
                return;
            }
        }
    } catch (const std::bad_alloc&) {
        return;
    }
    bitmap_ = ClusterBitmap(std::move(bits), clusters);
}

}  // namespace undelete
