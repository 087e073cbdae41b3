#include "disk/VolumeLocator.h"

#include <mutex>

namespace undelete {
namespace {

std::mutex& lookupMutex() {
    static std::mutex m;
    return m;
}

MftLengthLookup& lookupSlot() {
    static MftLengthLookup lookup = VolumeLocator::findMftValidDataLength;
    return lookup;
}

}  // namespace

MftLengthLookup installVolumeLocator(MftLengthLookup lookup) {
    std::lock_guard<std::mutex> lock(lookupMutex());
    MftLengthLookup previous = std::move(lookupSlot());
    lookupSlot() =
        lookup ? std::move(lookup) : MftLengthLookup(VolumeLocator::findMftValidDataLength);
    return previous;
}

uint64_t locateMftValidDataLength(uint32_t serial) {
    MftLengthLookup lookup;
    {
        std::lock_guard<std::mutex> lock(lookupMutex());
        lookup = lookupSlot();
    }
    return lookup(serial);
}

}  // namespace undelete
