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
#include "disk/DriveSelection.h"
#include "disk/VolumeLocator.h"
#include "disk/win32/ImageFileDrive.h"
#include "disk/win32/PhysicalDrive.h"
#include "core/DiskSource.h"
#include "partition/SectorSizeProbe.h"

namespace {

using namespace undelete;
using undelete::win32::DiskChoice;

constexpr int kExitStatus = 1;

const char kUsageMessage[] = "用法: undelete.exe [物理驱动器号 | 磁盘映像文件]";
const char kImageOpenFailed[] = "无法读取磁盘映像文件: ";

// The disk the dialog reads and how: a physical drive asks the mounted
// volumes for an NTFS table's length; an image is mounted nowhere, so each
// NTFS volume's own $MFT record gives it. False (after telling the user)
// when the chosen disk cannot be used at all.
bool chooseContext(const DiskChoice& choice, win32::DialogView& view, DiskSource& context) {
    switch (choice.kind) {
    case DiskChoice::Kind::Invalid:
        view.showMessageBox(kUsageMessage);
        return false;
    case DiskChoice::Kind::PhysicalDrive:
        context.diskPath = physicalDrivePath(choice.driveNumber);
        context.openDrive = driveOpener(context.diskPath);
        context.mftValidDataLength = findMountedMftValidDataLength;
        return true;
    case DiskChoice::Kind::ImageFile: {
        if (!openImageFileDrive(choice.imagePath)) {
            view.showMessageBox((kImageOpenFailed + choice.imagePath).c_str());
            return false;
        }
        const std::string path = choice.imagePath;
        const uint32_t sectorBytes =
            probeImageSectorSize([path] { return openImageFileDrive(path); });
        context.diskPath = path;
        context.openDrive = [path, sectorBytes] { return openImageFileDrive(path, sectorBytes); };
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

    // The view, the shell, the search and the rows live until the process ends: closing
    // the dialog ends the process together with a worker that may still
    // run, so nothing is torn down.
    auto* view = new win32::DialogView;
    const DiskChoice choice = win32::chooseDisk(__argc - 1, __argv + 1);
    DiskSource context;
    if (!chooseContext(choice, *view, context)) return kExitStatus;
    auto* shell = new ScanShell(*view, context);
    auto* search = new LostVolumeSearch(*view, context);
    win32::runMainDialog(instance, *view, *shell, [context, view] {
        win32::PartitionListing listing;
        listing.kind = partitionRows(
            context, [view](const char* text) { view->showMessageBox(text); }, listing.rows);
        return listing;
    }, search);
    return kExitStatus;
}
