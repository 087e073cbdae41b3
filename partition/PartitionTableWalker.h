// Walks the master boot record of the disk and the chain of extended boot
// records behind its first extended entry.
#pragma once
#include <cstdint>
#include <functional>

#include "common/Message.h"
#include "disk/DriveDevice.h"
#include "partition/PartitionRecord.h"

namespace undelete {

// Receives each partition in the order found. The record is the walk's
// working copy: copy it before returning. `bytesPerSector` is the drive's.
using PartitionRowConsumer =
    std::function<void(const PartitionRecord& record, uint32_t bytesPerSector)>;

// Every primary entry in slot order (empty slots passed over), then the
// logical partitions of the first extended entry's chain (at most 50
// extended boot records; an empty entry there ends the chain). The walk
// opens its own reader of the disk; read failures go to `messages`.
void PartitionTableWalker(const DriveOpener& openDrive, const MessageSink& messages,
                          const PartitionRowConsumer& addPartitionRow);

// Decodes one 16-byte entry into the ten entry fields of `record`, with the
// cylinders computed from the address when a cylinder field reads 1023.
// `base` is 0 for the master boot record, the boot record's sector otherwise.
void fillPartitionRecord(const uint8_t* entry, uint64_t base, uint32_t sectorsPerCylinder,
                         PartitionRecord& record);

inline bool isExtendedType(uint8_t type) { return type == 0x05 || type == 0x0F; }

}  // namespace undelete
