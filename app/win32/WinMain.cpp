// The entry routine of undelete.exe and the one place where the dialog is
// wired to the core: which disk is read, how it is opened, and where the
// scanners' messages go.
#include "app/win32/DialogView.h"  // windows.h, before the common controls

#include <commctrl.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "app/ScanShell.h"
#include "app/win32/DiskChoice.h"
#include "app/win32/MainDialog.h"
#include "common/Message.h"
#include "disk/DriveDevice.h"
#include "disk/VolumeLocator.h"
#include "disk/win32/ImageFileDrive.h"
#include "ntfs/DiskVolumeTable.h"
#include "partition/PartitionRows.h"

namespace {

using namespace undelete;
using undelete::win32::DiskChoice;

constexpr int kExitStatus = 1;

const char kUsageMessage[] = "用法: undelete.exe [物理驱动器号 | 磁盘映像文件]";
const char kImageOpenFailed[] = "无法读取磁盘映像文件: ";

// Points drive 0 at the chosen disk. False (after telling the user) when
// the chosen disk cannot be used at all.
bool wireDisk(const DiskChoice& choice, win32::DialogView& view) {
    installMessageSink([&view](const char* text) { view.showMessageBox(text); });
    switch (choice.kind) {
    case DiskChoice::Kind::Invalid:
        view.showMessageBox(kUsageMessage);
        return false;
    case DiskChoice::Kind::PhysicalDrive:
        if (choice.driveNumber != 0) {
            const int number = choice.driveNumber;
            installDriveOpener([number](int) { return openPlatformDrive(number); });
        }
        return true;
    case DiskChoice::Kind::ImageFile: {
        if (!openImageFileDrive(choice.imagePath)) {
            view.showMessageBox((kImageOpenFailed + choice.imagePath).c_str());
            return false;
        }
        const std::string path = choice.imagePath;
        installDriveOpener([path](int) { return openImageFileDrive(path); });
        // An image is mounted nowhere: each NTFS volume's record count comes
        // from its own $MFT record, as on systems without drive letters.
        installVolumeLocator(findDiskVolumeMftValidDataLength);
        return true;
    }
    }
    return false;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Wide-to-multibyte conversions of the scanners produce code page 936.
    std::setlocale(LC_ALL, "chs");
    InitCommonControls();

    // The view, the shell and the rows live until the process ends: closing
    // the dialog ends the process together with a worker that may still
    // run, so nothing is torn down.
    auto* view = new win32::DialogView;
    const DiskChoice choice = win32::chooseDisk(__argc - 1, __argv + 1);
    if (!wireDisk(choice, *view)) return kExitStatus;
    auto* shell = new ScanShell(*view);
    win32::runMainDialog(instance, *view, *shell, [] { return collectPartitionRows(); });
    return kExitStatus;
}
