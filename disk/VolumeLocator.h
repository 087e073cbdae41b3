// Finds the valid data length of an NTFS volume's master file table by the
// low half of the volume's serial number. On Windows the mounted fixed
// volumes are asked; elsewhere the NTFS partitions of drive 0 stand in for
// them. 0 means no volume with that serial number could be asked.
#pragma once
#include <cstdint>
#include <functional>

namespace undelete {

class VolumeLocator {
public:
    // The platform's answer (no state is kept between calls).
    static uint64_t findMftValidDataLength(uint32_t serial);
};

using MftLengthLookup = std::function<uint64_t(uint32_t serial)>;

// Replaces the lookup that locateMftValidDataLength uses (tests control the
// answer); an empty one restores the platform's. Returns the previous one.
MftLengthLookup installVolumeLocator(MftLengthLookup lookup);

// Asks the installed lookup; by default VolumeLocator::findMftValidDataLength.
uint64_t locateMftValidDataLength(uint32_t serial);

}  // namespace undelete
