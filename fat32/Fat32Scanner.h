// Scanner of FAT32 partitions (placeholder until the scanner lands).
#pragma once
#include "app/VolumeScanner.h"

namespace undelete {

class Fat32Scanner : public VolumeScanner {
public:
    bool open(const PartitionRecord*) override { return false; }
    bool hasItem(uint32_t) override { return false; }
    bool describe(uint32_t, ResultRow&) override { return false; }
    bool readContent(uint32_t, std::vector<uint8_t>&, uint64_t&) override { return false; }
};

}  // namespace undelete
