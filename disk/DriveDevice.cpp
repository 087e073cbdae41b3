#include "disk/DriveDevice.h"

#include <mutex>

namespace undelete {
namespace {

std::mutex& openerMutex() {
    static std::mutex m;
    return m;
}

DriveOpener& openerSlot() {
    static DriveOpener opener = openPlatformDrive;
    return opener;
}

}  // namespace

DriveOpener installDriveOpener(DriveOpener opener) {
    std::lock_guard<std::mutex> lock(openerMutex());
    DriveOpener previous = std::move(openerSlot());
    openerSlot() = opener ? std::move(opener) : DriveOpener(openPlatformDrive);
    return previous;
}

std::unique_ptr<DriveDevice> openDriveDevice(int number) {
    DriveOpener opener;
    {
        std::lock_guard<std::mutex> lock(openerMutex());
        opener = openerSlot();
    }
    return opener(number);
}

}  // namespace undelete
