#include "disk/VolumeLocator.h"

#include "common/Hook.h"

namespace undelete {
namespace {

Hook<uint64_t(uint32_t)>& lookup() {
    static Hook<uint64_t(uint32_t)> hook(VolumeLocator::findMftValidDataLength);
    return hook;
}

}  // namespace

MftLengthLookup installVolumeLocator(MftLengthLookup function) {
    return lookup().install(std::move(function));
}

uint64_t locateMftValidDataLength(uint32_t serial) {
    return lookup().get()(serial);
}

}  // namespace undelete
