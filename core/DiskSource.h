// What a face hands the core: the disk of this run, the sources of what the
// disk does not tell, and the rows of its partition list.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "common/Message.h"
#include "core/ScannerFactory.h"
#include "core/SystemZone.h"
#include "disk/DriveDevice.h"
#include "disk/VolumeLocator.h"
#include "partition/PartitionRows.h"
#include "partition/VolumeSearch.h"

namespace undelete {

struct DiskSource {
    DiskSource() = default;
    explicit DiskSource(DriveOpener opener) : openDrive(std::move(opener)) {}

    DriveOpener openDrive;
    std::string diskPath;  // the disk itself: never a place to save to
    // Empty: each NTFS volume's own $MFT record gives its table length.
    MftLengthLookup mftValidDataLength;
    // The zone a FAT time was written in and an NTFS time is shown in.
    LocalZone zone = systemLocalZone();
    // Tests hand fakes.
    ScannerFactory makeScanner = createScanner;
};

// The partition table walk's rows, numbered from 0 in the order found,
// replacing `rows`, and the kind of table found (Unreadable and None come
// with no rows; None has been told to `messages`).
PartitionTableKind partitionRows(const DiskSource& source, const MessageSink& messages,
                                 std::vector<PartitionRow>& rows);

// The volumes the search finds beside `tableRows` (found rows among them
// are left out), as rows numbered on after them.
struct FoundRows {
    std::vector<PartitionRow> rows;
    bool stopped = false;  // by the control: the rows are what was found so far
};
FoundRows findLostVolumes(const DiskSource& source, const std::vector<PartitionRow>& tableRows,
                          const SearchControl& control);

}  // namespace undelete
