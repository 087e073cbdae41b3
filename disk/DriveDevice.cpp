#include "disk/DriveDevice.h"

#include "common/Hook.h"

namespace undelete {
namespace {

Hook<std::unique_ptr<DriveDevice>(int)>& opener() {
    static Hook<std::unique_ptr<DriveDevice>(int)> hook(openPlatformDrive);
    return hook;
}

}  // namespace

DriveOpener installDriveOpener(DriveOpener function) {
    return opener().install(std::move(function));
}

std::unique_ptr<DriveDevice> openDriveDevice(int number) {
    return opener().get()(number);
}

}  // namespace undelete
