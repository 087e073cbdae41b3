#include "partition/PartitionTableWalker.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/Bytes.h"
#include "disk/DriveReader.h"
#include "partition/Gpt.h"
#include "partition/VolumeProbe.h"

namespace undelete {

const char* const kNoPartitionTableMessage = "未找到分区表";

namespace {

constexpr size_t kFirstEntry = 446;
constexpr size_t kEntrySize = 16;
constexpr size_t kSignature = 510;
constexpr uint8_t kProtectiveType = 0xEE;
constexpr uint64_t kLegacyBootable = 1u << 2;  // GPT attribute bit 2

// Cylinder fields of 1023 mean "beyond CHS reach": compute from the address.
uint16_t cylinderOf(uint16_t field, uint64_t lba, uint32_t sectorsPerCylinder) {
    if (field != 1023) return field;
    if (sectorsPerCylinder == 0) return 0;
    return static_cast<uint16_t>(lba / sectorsPerCylinder);
}

const uint8_t* entryAt(const std::vector<uint8_t>& sector, int slot) {
    return sector.data() + kFirstEntry + static_cast<size_t>(slot) * kEntrySize;
}

// One walk over one open reader.
class Walk {
public:
    Walk(DriveReader& reader, const PartitionRowConsumer& add)
        : reader_(reader),
          add_(add),
          sectorBytes_(reader.bytesPerSector()),
          deviceSectors_(sectorBytes_ ? reader.deviceBytes() / sectorBytes_ : 0) {}

    void bareVolume(FileSystemKind kind, const std::vector<uint8_t>& bootSector);
    bool gpt();
    void mbr(const std::vector<uint8_t>& sector);

private:
    void emit(PartitionRecord& record) {
        record.deviceSectors = deviceSectors_;
        add_(record, sectorBytes_);
    }
    // An MBR or EBR entry: its boot sector names it, whatever its type
    // byte says (an extended container holds no boot sector to read).
    void emitEntry(PartitionRecord& record) {
        record.deviceSectors = deviceSectors_;
        record.fileSystem = probedMbrType(record.partitionType) ? probe(record)
                                                                : FileSystemKind::NotProbed;
        emit(record);
    }
    FileSystemKind probe(const PartitionRecord& record);
    void chain(uint64_t extendedStart, std::vector<uint8_t>& sector);

    DriveReader& reader_;
    const PartitionRowConsumer& add_;
    const uint32_t sectorBytes_;
    const uint64_t deviceSectors_;
};

void Walk::bareVolume(FileSystemKind kind, const std::vector<uint8_t>& bootSector) {
    PartitionRecord record;
    record.table = PartitionTableKind::BareVolume;
    record.fileSystem = kind;
    record.partitionType = mbrTypeFor(kind, 0);
    // The device's size is the evidence; the volume's own claim stands in
    // only when the device cannot tell.
    record.totalSectors = deviceSectors_ != 0
                              ? deviceSectors_
                              : probeVolume(bootSector.data(), bootSector.size()).sectors;
    const uint64_t last = record.totalSectors ? record.totalSectors - 1 : 0;
    setAddressFromLba(0, last, reader_.sectorsPerTrack(), reader_.tracksPerCylinder(), record);
    emit(record);
}

// The boot sector at the partition's start names its file system; a
// partition that starts past the device's end, or an unreadable one, is
// Unknown. A probe's failure is an answer, so it shows no message.
FileSystemKind Walk::probe(const PartitionRecord& record) {
    if (record.presentSectors() == 0 || record.firstSector() > UINT64_MAX / sectorBytes_) {
        return FileSystemKind::Unknown;
    }
    uint8_t boot[512];
    if (!reader_.readBytesQuietly(record.firstSector() * sectorBytes_, boot, sizeof boot)) {
        return FileSystemKind::Unknown;
    }
    return probeVolume(boot, sizeof boot).kind;
}

bool Walk::gpt() {
    std::vector<GptEntry> entries;
    if (!readGpt(reader_, deviceSectors_, entries)) return false;
    for (const GptEntry& entry : entries) {
        PartitionRecord record;
        record.table = PartitionTableKind::Gpt;
        std::memcpy(record.typeGuid, entry.typeGuid, sizeof record.typeGuid);
        record.bootIndicator = (entry.attributes & kLegacyBootable) ? uint8_t{0x80} : uint8_t{0};
        record.relativeSectors = entry.firstLba;
        // lastLba ≥ firstLba; a table spanning all 2^64 sectors keeps the most.
        const uint64_t span = entry.lastLba - entry.firstLba;
        record.totalSectors = span == UINT64_MAX ? span : span + 1;
        record.deviceSectors = deviceSectors_;
        record.fileSystem = probe(record);
        record.partitionType = mbrTypeFor(record.fileSystem, kProtectiveType);
        setAddressFromLba(entry.firstLba, entry.lastLba, reader_.sectorsPerTrack(),
                          reader_.tracksPerCylinder(), record);
        emit(record);
    }
    return true;
}

void Walk::mbr(const std::vector<uint8_t>& sector) {
    // Every primary slot is examined; the first extended entry is
    // remembered and its chain walked after the primaries.
    const uint32_t spc = reader_.sectorsPerCylinder();
    bool haveExtended = false;
    uint64_t extendedStart = 0;
    PartitionRecord record;
    for (int slot = 0; slot < 4; ++slot) {
        const uint8_t* entry = entryAt(sector, slot);
        const uint8_t type = entry[4];
        if (type == 0) continue;
        if (isExtendedType(type)) {
            if (!haveExtended) {
                haveExtended = true;
                extendedStart = le32(entry + 8);
            }
            continue;
        }
        record.baseSector = 0;
        record.extendedStart = 0;
        fillPartitionRecord(entry, 0, spc, record);
        emitEntry(record);
    }
    if (!haveExtended) return;
    std::vector<uint8_t> ebr(sector.size(), 0);
    chain(extendedStart, ebr);
}

// Each extended boot record: its partitions (usually entry 0), then its
// first link (usually entry 1), which counts from the extended partition's
// start. The chain ends without a link, at a record read before (sector 0
// included: the master boot record is no EBR), or after the bound.
void Walk::chain(uint64_t extendedStart, std::vector<uint8_t>& sector) {
    const uint32_t spc = reader_.sectorsPerCylinder();
    std::vector<uint64_t> visited{0};
    PartitionRecord record;
    uint64_t ebr = extendedStart;
    for (int n = 0; n < kMaxExtendedRecords; ++n) {
        if (std::find(visited.begin(), visited.end(), ebr) != visited.end()) return;
        visited.push_back(ebr);
        if (!reader_.readSectors(ebr, sector.data(), 1)) return;
        bool linked = false;
        uint64_t next = 0;
        for (int slot = 0; slot < 4; ++slot) {
            const uint8_t* entry = entryAt(sector, slot);
            const uint8_t type = entry[4];
            if (type == 0) continue;
            if (isExtendedType(type)) {
                if (!linked) next = extendedStart + le32(entry + 8);
                linked = true;
                continue;
            }
            record.baseSector = ebr;
            record.extendedStart = extendedStart;
            fillPartitionRecord(entry, ebr, spc, record);
            emitEntry(record);
        }
        if (!linked) return;
        ebr = next;
    }
}

bool hasBootSignature(const std::vector<uint8_t>& sector) {
    return sector[kSignature] == 0x55 && sector[kSignature + 1] == 0xAA;
}

bool hasProtectiveEntry(const std::vector<uint8_t>& sector) {
    for (int slot = 0; slot < 4; ++slot) {
        if (entryAt(sector, slot)[4] == kProtectiveType) return true;
    }
    return false;
}

}  // namespace

void fillPartitionRecord(const uint8_t* entry, uint64_t base, uint32_t sectorsPerCylinder,
                         PartitionRecord& record) {
    const uint64_t first = le32(entry + 8);
    const uint64_t count = le32(entry + 12);
    record.bootIndicator = entry[0];
    record.startHead = entry[1];
    record.startSector = entry[2] & 0x3F;
    const uint16_t startField = static_cast<uint16_t>(((entry[2] & 0xC0) << 2) | entry[3]);
    record.startCylinder = cylinderOf(startField, base + first, sectorsPerCylinder);
    record.partitionType = entry[4];
    record.endHead = entry[5];
    record.endSector = entry[6] & 0x3F;
    const uint16_t endField = static_cast<uint16_t>(((entry[6] & 0xC0) << 2) | entry[7]);
    record.endCylinder = cylinderOf(endField, base + first + count - 1, sectorsPerCylinder);
    record.relativeSectors = first;
    record.totalSectors = count;
}

void setAddressFromLba(uint64_t first, uint64_t last, uint32_t sectorsPerTrack,
                       uint32_t tracksPerCylinder, PartitionRecord& record) {
    const uint64_t perCylinder = uint64_t{sectorsPerTrack} * tracksPerCylinder;
    if (perCylinder == 0) {
        record.startCylinder = record.startHead = record.startSector = 0;
        record.endCylinder = record.endHead = record.endSector = 0;
        return;
    }
    record.startCylinder = static_cast<uint16_t>(first / perCylinder);
    record.startHead = static_cast<uint16_t>(first / sectorsPerTrack % tracksPerCylinder);
    record.startSector = static_cast<uint16_t>(first % sectorsPerTrack + 1);
    record.endCylinder = static_cast<uint16_t>(last / perCylinder);
    record.endHead = static_cast<uint16_t>(last / sectorsPerTrack % tracksPerCylinder);
    record.endSector = static_cast<uint16_t>(last % sectorsPerTrack + 1);
}

PartitionTableKind walkPartitionTable(const DriveOpener& openDrive, const MessageSink& messages,
                                      const PartitionRowConsumer& addPartitionRow) {
    DriveReader reader(openDrive, messages);
    if (!reader.open() || reader.bytesPerSector() == 0) return PartitionTableKind::Unreadable;
    // One whole sector, however large the drive's sectors are; the entries
    // always sit in its first 512 bytes.
    const uint32_t sectorBytes = reader.bytesPerSector();
    std::vector<uint8_t> sector(sectorBytes < 512 ? 512 : sectorBytes, 0);
    if (!reader.readSectors(0, sector.data(), 1)) return PartitionTableKind::Unreadable;

    Walk walk(reader, addPartitionRow);
    const FileSystemKind volume = probeVolume(sector.data(), sector.size()).kind;
    if (volume != FileSystemKind::Unknown) {
        walk.bareVolume(volume, sector);
        return PartitionTableKind::BareVolume;
    }
    if (!hasBootSignature(sector)) {
        if (messages) messages(kNoPartitionTableMessage);
        return PartitionTableKind::None;
    }
    // A GPT that no copy vouches for leaves the MBR's own entries to list.
    if (hasProtectiveEntry(sector) && walk.gpt()) return PartitionTableKind::Gpt;
    walk.mbr(sector);
    return PartitionTableKind::Mbr;
}

void PartitionTableWalker(const DriveOpener& openDrive, const MessageSink& messages,
                          const PartitionRowConsumer& addPartitionRow) {
    walkPartitionTable(openDrive, messages, addPartitionRow);
}

}  // namespace undelete
