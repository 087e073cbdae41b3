#include <algorithm>
#include <new>

#include "ntfs/NtfsRecords.h"

namespace undelete {
namespace {

constexpr uint64_t kBitmapRecord = 6;

}  // namespace

// Read once, in pieces, through the file object (its runs may continue in
// extension records); its size is bounded by the volume's cluster count,
// not by what record 6 claims. A piece that cannot be read makes the whole
// map unknown rather than wrongly free.
void NtfsScanner::loadBitmap() {
    NtfsFile file;
    TableRecords source(*this);
    if (!loadFile(kBitmapRecord, false, source, file)) return;
    const MftRecordInfo& info = file.info;
    const uint64_t clusters = volume_.bytes() / volume_.bytesPerCluster;
    const uint64_t wanted = clusters / 8 + (clusters % 8 != 0);
    std::vector<uint8_t> bits;
    if (!info.nonResident()) {
        const auto n = std::min<uint64_t>(static_cast<uint64_t>(info.dataLength), wanted);
        bits.assign(info.residentData.begin(), info.residentData.begin() + n);
    } else {
        const uint64_t length = std::min({info.dataSize, info.allocatedSize, wanted});
        if (!readWhole(info.runs, length, bits, true) || bits.size() != length) return;
    }
    bitmap_ = ClusterBitmap(std::move(bits), clusters);
}

}  // namespace undelete
