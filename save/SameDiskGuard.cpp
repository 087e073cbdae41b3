#include "save/SameDiskGuard.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cwchar>
#include <fstream>

#include "common/Text.h"
#include "save/FileSystem.h"

#if defined(_WIN32)
#include <windows.h>
#include <winioctl.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

namespace undelete {
namespace {

#if defined(_WIN32)

// The number of "\\.\PHYSICALDRIVE<n>"; false for anything else (an image).
bool driveNumberOf(const std::string& path, DWORD& number) {
    const std::string prefix = "\\\\.\\PHYSICALDRIVE";
    if (path.size() <= prefix.size() || path.size() > prefix.size() + 9) return false;
    if (lstrcmpiA(path.substr(0, prefix.size()).c_str(), prefix.c_str()) != 0) return false;
    number = 0;
    for (size_t i = prefix.size(); i < path.size(); ++i) {
        if (path[i] < '0' || path[i] > '9') return false;
        number = number * 10 + static_cast<DWORD>(path[i] - '0');
    }
    return true;
}

// The device path of the volume `folder` lies on: "\\.\C:", or the
// volume's GUID name for one mounted on a folder. Asked with the wide
// functions, which take a path of any length in the program's encoding.
std::string volumeOf(const std::string& folder) {
    const std::wstring path = systemPath(folder);
    const DWORD room = static_cast<DWORD>(path.size()) + 2;
    std::wstring mount(room, L'\0');
    wchar_t name[MAX_PATH] = {};
    if (path.empty() || !GetVolumePathNameW(path.c_str(), &mount[0], room)) return std::string();
    mount.resize(wcslen(mount.c_str()));
    // systemPath gives "\\?\C:\..."; the mount point comes back in that form.
    const std::wstring plain = mount.compare(0, 4, L"\\\\?\\") == 0 ? mount.substr(4) : mount;
    std::wstring volume;
    if (plain.size() >= 2 && plain[1] == L':') {
        volume = std::wstring(L"\\\\.\\") + plain[0] + L":";
    } else if (GetVolumeNameForVolumeMountPointW(mount.c_str(), name, MAX_PATH)) {
        volume = name;
        if (!volume.empty() && volume.back() == L'\\') volume.pop_back();
    }
    return narrowText(volume);
}

bool volumeOnDrive(const std::string& volume, DWORD drive) {
    const HANDLE handle = CreateFileW(wideText(volume).c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    // Room for a volume spanning a few disks.
    union {
        VOLUME_DISK_EXTENTS extents;
        char bytes[sizeof(VOLUME_DISK_EXTENTS) + 15 * sizeof(DISK_EXTENT)];
    } answer{};
    DWORD returned = 0;
    const bool ok = DeviceIoControl(handle, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0,
                                    &answer, sizeof answer, &returned, nullptr) != 0;
    CloseHandle(handle);
    if (!ok || returned < sizeof(DWORD) * 2) return false;
    const size_t fits = (returned - offsetof(VOLUME_DISK_EXTENTS, Extents)) / sizeof(DISK_EXTENT);
    const DWORD count = answer.extents.NumberOfDiskExtents;
    for (DWORD i = 0; i < count && i < fits; ++i) {
        if (answer.extents.Extents[i].DiskNumber == drive) return true;
    }
    return false;
}

#else

// What is being recovered: a block device, or an image file (which a loop
// device may have made a disk of).
struct Scanned {
    bool block = false;
    dev_t device = 0;  // the block device; an image file's file system
    ino_t inode = 0;   // an image file's
};

// "MAJOR:MINOR" as a /sys file holds it.
bool readDevice(const std::string& file, dev_t& device) {
    std::ifstream in(file);
    unsigned major = 0, minor = 0;
    char colon = 0;
    if (!(in >> major >> colon >> minor) || colon != ':') return false;
    device = makedev(major, minor);
    return true;
}

// The file a loop device reads (its /sys folder `sys`): the file system it
// lies on and its inode. Asked of the device where it can be opened (exact
// even for a file renamed or deleted since), else by the path the kernel
// keeps.
bool loopBacking(const std::string& sys, dev_t& device, ino_t& inode) {
    std::ifstream names(sys + "/uevent");
    std::string line, node;
    while (std::getline(names, line)) {
        if (line.rfind("DEVNAME=", 0) == 0) node = "/dev/" + line.substr(8);
    }
    const int fd = node.empty() ? -1 : ::open(node.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        loop_info64 info{};
        const bool asked = ::ioctl(fd, LOOP_GET_STATUS64, &info) == 0;
        ::close(fd);
        if (asked) {
            device = static_cast<dev_t>(info.lo_device);
            inode = static_cast<ino_t>(info.lo_inode);
            return true;
        }
    }
    std::ifstream backing(sys + "/loop/backing_file");
    std::string path;
    struct stat st {};
    if (!std::getline(backing, path) || ::stat(path.c_str(), &st) != 0) return false;
    device = st.st_dev;
    inode = st.st_ino;
    return true;
}

// `device` is the scanned disk, a partition of it, made of such (its
// slaves), or a loop device reading the image being scanned or a file on a
// file system that lies on the disk.
bool onScanned(dev_t device, const Scanned& scanned, int depth) {
    if (scanned.block && device == scanned.device) return true;
    if (depth > 8) return false;
    const std::string sys =
        "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    dev_t parent = 0;
    // A partition's folder lies in its disk's folder.
    if (inspect(sys + "/partition").kind == FileKind::File && readDevice(sys + "/../dev", parent) &&
        onScanned(parent, scanned, depth + 1)) {
        return true;
    }
    dev_t fileSystem = 0;
    ino_t inode = 0;
    if (inspect(sys + "/loop").kind == FileKind::Folder && loopBacking(sys, fileSystem, inode)) {
        if (!scanned.block && fileSystem == scanned.device && inode == scanned.inode) return true;
        if (onScanned(fileSystem, scanned, depth + 1)) return true;
    }
    DIR* slaves = ::opendir((sys + "/slaves").c_str());
    if (slaves == nullptr) return false;
    bool found = false;
    int entries = 0;
    while (const dirent* entry = ::readdir(slaves)) {
        if (entry->d_name[0] == '.' || ++entries > 64) continue;
        dev_t slave = 0;
        if (readDevice(sys + "/slaves/" + entry->d_name + "/dev", slave) &&
            onScanned(slave, scanned, depth + 1)) {
            found = true;
            break;
        }
    }
    ::closedir(slaves);
    return found;
}

#endif

}  // namespace

bool liesOnScannedDisk(const std::string& folder, const std::string& diskPath) {
#if defined(_WIN32)
    DWORD drive = 0;
    if (!driveNumberOf(diskPath, drive)) return false;
    const std::string volume = volumeOf(existingFolder(folder));
    return !volume.empty() && volumeOnDrive(volume, drive);
#else
    struct stat disk {}, target {};
    if (diskPath.empty() || ::stat(diskPath.c_str(), &disk) != 0) return false;
    Scanned scanned;
    if (S_ISBLK(disk.st_mode)) {
        scanned = {true, disk.st_rdev, 0};
    } else if (S_ISREG(disk.st_mode)) {
        scanned = {false, disk.st_dev, disk.st_ino};
    } else {
        return false;
    }
    if (::stat(existingFolder(folder).c_str(), &target) != 0) return false;
    return onScanned(target.st_dev, scanned, 0);
#endif
}

}  // namespace undelete
