// The master file table record parser on one record of input bytes, with
// both values of the in-use filter; the run list it yields is then mapped
// as the table's own would be.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ntfs/MftRecord.h"
#include "ntfs/MftRecordMap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace undelete;
    std::vector<uint8_t> record(data, data + size);
    record.resize(kMftRecordBytes, 0);
    for (bool notInUseOnly : {false, true}) {
        MftRecordInfo info;
        if (!parseRecord(record.data(), record.size(), notInUseOnly, info)) continue;
        const MftRecordMap map =
            MftRecordMap::fromRuns(info.runs, 1 << 20, 4096, 1024, info.initializedSize / 1024);
        for (uint64_t i = 0; i < 64; ++i) (void)map.entry(i);
    }
    return 0;
}
