#include "partition/SectorSizeProbe.h"

#include <cstring>

#include "common/Bytes.h"
#include "disk/DriveReader.h"
#include "partition/Gpt.h"
#include "partition/VolumeProbe.h"

namespace undelete {
namespace {

constexpr uint32_t kSmall = 512;
constexpr uint32_t kLarge = 4096;
constexpr size_t kFirstEntry = 446;
constexpr size_t kEntrySize = 16;

bool gptHeaderAt(DriveReader& reader, uint32_t sectorBytes) {
    uint8_t sector[kLarge];
    if (!reader.readBytesQuietly(sectorBytes, sector, sectorBytes)) return false;
    GptHeader header;
    return parseGptHeader(sector, sectorBytes, 1, reader.deviceBytes() / sectorBytes, header) ==
           GptHeaderCheck::Valid;
}

bool volumeAt(DriveReader& reader, uint64_t sector, uint32_t sectorBytes) {
    uint8_t boot[kSmall];
    if (sector > UINT64_MAX / sectorBytes) return false;
    return reader.readBytesQuietly(sector * sectorBytes, boot, sizeof boot) &&
           probeVolume(boot, sizeof boot).kind != FileSystemKind::Unknown;
}

// All primary entries together: 4096 only when some entry's boot sector
// lies at its start counted in 4096-byte sectors and none at its start
// counted in 512-byte sectors. An old boot sector left inside a partition
// (at start × 4096 of a 512-byte disk) then cannot outvote the volumes that
// lie where a 512-byte table puts them.
uint32_t mbrSectorSize(DriveReader& reader, const uint8_t* mbr) {
    bool atLarge = false;
    for (int slot = 0; slot < 4; ++slot) {
        const uint8_t* entry = mbr + kFirstEntry + static_cast<size_t>(slot) * kEntrySize;
        const uint64_t start = le32(entry + 8);
        if (!probedMbrType(entry[4]) || start == 0) continue;
        if (volumeAt(reader, start, kSmall)) return kSmall;
        atLarge = atLarge || volumeAt(reader, start, kLarge);
    }
    return atLarge ? kLarge : kSmall;
}

}  // namespace

uint32_t probeImageSectorSize(const DriveOpener& opener) {
    DriveReader reader(opener, {});
    if (!reader.open()) return kSmall;
    uint8_t mbr[kSmall];
    if (!reader.readBytesQuietly(0, mbr, sizeof mbr)) return kSmall;
    if (gptHeaderAt(reader, kSmall)) return kSmall;
    if (gptHeaderAt(reader, kLarge)) return kLarge;
    const bool signed55AA = mbr[510] == 0x55 && mbr[511] == 0xAA;
    if (!signed55AA || probeVolume(mbr, sizeof mbr).kind != FileSystemKind::Unknown) return kSmall;
    return mbrSectorSize(reader, mbr);
}

}  // namespace undelete
