// Where the scanner's file objects get their records (private to the
// scanner's own files): through the table reader's lookup piece (the
// worker, under the table lock), or one read per record into a buffer of
// its own (a save, on the thread that saves).
#pragma once
#include "ntfs/NtfsScanner.h"

namespace undelete {

class NtfsScanner::Records : public RecordSource {
public:
    enum class Way : uint8_t { Table, Direct };
    Records(NtfsScanner& scanner, Way way) : scanner_(scanner), way_(way) {}
    size_t recordSize() const override { return scanner_.recordSize_; }
    const uint8_t* rawRecord(uint64_t number) override;
    bool readStream(const std::vector<RunListNode>& runs, uint64_t length,
                    std::vector<uint8_t>& bytes) override;

private:
    NtfsScanner& scanner_;
    const Way way_;
    uint8_t record_[kMaxMftRecordBytes];  // a direct read's: not cleared, as readMappedRecord fills it
};

}  // namespace undelete
