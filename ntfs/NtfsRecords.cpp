// The scanner's records and small streams (NtfsRecords.h).
#include <algorithm>

#include "ntfs/NtfsRecords.h"
#include "ntfs/StreamExtents.h"
#include "scan/ContentReader.h"

namespace undelete {
namespace {

// Content gathered whole; a piece that cannot be read fails it.
class WholeSink final : public BufferSink {
public:
    WholeSink(std::vector<uint8_t>& data, uint64_t largest) : BufferSink(data, largest) {}
    bool lost(uint64_t) override { return false; }
};

}  // namespace

const uint8_t* NtfsScanner::Records::rawRecord(uint64_t number) {
    if (number >= scanner_.recordCount_) return nullptr;
    if (way_ == Way::Table) {
        return scanner_.table_ ? scanner_.table_->read(number, MftTableReader::Slot::Lookup) : nullptr;
    }
    if (!scanner_.recordMap_) return nullptr;
    DriveReader& drive = scanner_.drive_;
    const PieceReader read = [&drive](uint64_t position, uint8_t* into, uint32_t length) {
        return drive.readBytes(position, into, length);
    };
    return readMappedRecord(*scanner_.recordMap_, number, read, record_) ? record_ : nullptr;
}

bool NtfsScanner::Records::readStream(const std::vector<RunListNode>& runs, uint64_t length,
                                      std::vector<uint8_t>& bytes) {
    WholeSink sink(bytes, length);
    return scanner_.readWhole(runs, length, sink);
}

bool NtfsScanner::loadFile(uint64_t index, bool notInUseOnly, RecordSource& source,
                           NtfsFile& file) {
    const uint8_t* raw = source.rawRecord(index);
    if (raw == nullptr || !parseRecord(raw, recordSize_, notInUseOnly, file.info)) return false;
    file.number = index;
    completeFile(source, file);
    return true;
}

bool NtfsScanner::readWhole(const std::vector<RunListNode>& runs, uint64_t length,
                            ContentSink& sink) {
    const uint32_t cluster = bytesPerCluster_;
    if (cluster == 0) return false;
    const uint64_t clusters = runClusters(runs);
    if (clusters < length / cluster + 1) length = std::min(length, clusters * cluster);
    FileLayout where;
    where.length = where.validLength = length;
    where.clusters = {bounds_.start, 0, cluster};
    where.extents = std::make_unique<ExtentList>(extentsOf(runs));
    ContentReader reader(drive_, bounds_);
    return reader.read(where, sink);
}

}  // namespace undelete
