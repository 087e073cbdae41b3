// The interface every file-system scanner implements, and the row of texts
// that describes one deleted file.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "disk/DriveReader.h"
#include "partition/PartitionRecord.h"

namespace undelete {

// Texts of one listed deleted file, each zero-terminated within its field.
struct ResultRow {
    char sizeText[20];
    char timeText[25];
    char nameText[260];
};

class VolumeScanner {
public:
    DriveReader drive;  // the scanner's own reader of drive 0

    VolumeScanner() { drive.reset(); }
    virtual ~VolumeScanner() = default;
    VolumeScanner(const VolumeScanner&) = delete;
    VolumeScanner& operator=(const VolumeScanner&) = delete;

    void closeDrive() { drive.close(); }

    // Opens drive 0, reads the partition's boot sector, checks the file
    // system and builds the catalogue. False on any failure (the scanner
    // shows its own messages, if any). Called once, on the worker.
    virtual bool open(const PartitionRecord* record) = 0;

    // True exactly for the catalogue indices 0 … N − 1.
    virtual bool hasItem(uint32_t index) = 0;

    // True when item `index` is a deleted file to list; all three texts of
    // `row` are then written.
    virtual bool describe(uint32_t index, ResultRow& row) = 0;

    // The content of item `index`: on true, `data` holds at least `length`
    // bytes and the first `length` of them are the file. On false nothing
    // is to be written.
    virtual bool readContent(uint32_t index, std::vector<uint8_t>& data, uint64_t& length) = 0;
};

// 7: NTFS; 11 and 12: FAT32; any other type: none.
std::unique_ptr<VolumeScanner> createScanner(uint8_t partitionType);

}  // namespace undelete
