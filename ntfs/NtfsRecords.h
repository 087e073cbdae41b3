// The scanner's two sources of records for its file objects (private to
// the scanner's own files).
#pragma once
#include "ntfs/NtfsScanner.h"

namespace undelete {

// Through the table reader's lookup piece: the worker, under the table lock.
class NtfsScanner::TableRecords : public RecordSource {
public:
    explicit TableRecords(NtfsScanner& scanner);
    size_t recordSize() const override;
    const uint8_t* rawRecord(uint64_t number) override;
    bool readStream(const std::vector<RunListNode>& runs, uint64_t length,
                    std::vector<uint8_t>& bytes) override;

private:
    NtfsScanner& scanner_;
};

// One read per record, into a buffer of its own: a save, on its thread.
class NtfsScanner::DirectRecords : public RecordSource {
public:
    explicit DirectRecords(NtfsScanner& scanner);
    size_t recordSize() const override;
    const uint8_t* rawRecord(uint64_t number) override;
    bool readStream(const std::vector<RunListNode>& runs, uint64_t length,
                    std::vector<uint8_t>& bytes) override;

private:
    NtfsScanner& scanner_;
    uint8_t record_[kMaxMftRecordBytes] = {};
};

}  // namespace undelete
