// What a scanner is handed when it is made: the disk of this run, where its
// messages go, and how an NTFS volume's table length is learnt.
#pragma once
#include <cstdint>
#include <functional>

#include "common/Message.h"
#include "disk/DriveDevice.h"
#include "disk/VolumeLocator.h"

namespace undelete {

// Told once a scan (FAT and exFAT) when a live folder's clusters lie
// outside the volume: its files cannot be listed.
extern const char kFolderOutsideVolumeMessage[];

struct ScanContext {
    DriveOpener openDrive;
    MessageSink showMessage;
    // Hears of every failed read of the scanner's reader (may be empty).
    ReadFailureObserver readFailed;
    // Asked by serial number for the valid data length of the master file
    // table; when empty, the volume's own $MFT record gives it.
    MftLengthLookup mftValidDataLength;
    // Told (once per cause and scan) when the scan cannot cover all the
    // volume holds: a table cut to what the partition holds, folders
    // outside the volume. The rows listed are then not all there may be.
    MessageSink toldIncomplete;
    // Asked by long passes (a directory walk, a deep pass): true once the
    // scan has been stopped; the pass then ends, keeping what it found.
    std::function<bool()> stopRequested{};
    // The deeper scan: a FAT or exFAT volume's free clusters are read too,
    // for the folders nothing links to any more (deleted, or left by a
    // format) and their files; an NTFS volume's, for master-file-table
    // records outside the table.
    bool deepScan = false;
    // Progress of such a pass before the listing: done of total (clusters).
    std::function<void(uint64_t done, uint64_t total)> showPassProgress{};
};

}  // namespace undelete
