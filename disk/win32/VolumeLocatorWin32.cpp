// Asks the mounted fixed volumes for their serial numbers and the first one
// that matches for its NTFS volume data.
#include <windows.h>
#include <winioctl.h>

#include "common/Bytes.h"
#include "disk/VolumeLocator.h"

namespace undelete {
namespace {

constexpr DWORD kRootListBytes = 260;
constexpr size_t kRootEntryBytes = 4;      // "C:\" and its zero byte
constexpr DWORD kVolumeDataBytes = 96;     // NTFS_VOLUME_DATA_BUFFER
constexpr size_t kMftValidDataLength = 56;

uint64_t askVolumeData(char letter) {
    char path[20] = {};
    wsprintfA(path, "\\\\.\\%c:", letter);
    // Read access is enough for the volume data query, and the disk is never
    // opened for writing.
    HANDLE volume = CreateFileA(path, GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    if (volume == INVALID_HANDLE_VALUE) return 0;
    uint8_t reply[kVolumeDataBytes] = {};
    DWORD returned = 0;
    DeviceIoControl(volume, FSCTL_GET_NTFS_VOLUME_DATA, nullptr, 0, reply, kVolumeDataBytes,
                    &returned, nullptr);
    CloseHandle(volume);
    return returned == kVolumeDataBytes ? le64(reply + kMftValidDataLength) : 0;
}

}  // namespace

uint64_t findMountedMftValidDataLength(uint32_t serial) {
    char roots[kRootListBytes] = {};
    GetLogicalDriveStringsA(kRootListBytes, roots);
    for (size_t at = 0; at + kRootEntryBytes <= sizeof roots && roots[at] != 0;
         at += kRootEntryBytes) {
        const char* root = roots + at;
        if (lstrcmpiA(root, "A:\\") == 0) continue;
        if (GetDriveTypeA(root) != DRIVE_FIXED) continue;
        DWORD volumeSerial = 0;
        // A drive whose volume information cannot be had has no serial
        // number to compare.
        if (!GetVolumeInformationA(root, nullptr, 0, &volumeSerial, nullptr, nullptr, nullptr, 0)) {
            continue;
        }
        if (volumeSerial != serial) continue;
        return askVolumeData(root[0]);
    }
    return 0;
}

}  // namespace undelete
