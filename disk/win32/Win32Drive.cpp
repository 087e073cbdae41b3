// Win32 backend: physical drive N opened raw and read-only. A read is a
// SetFilePointer followed by a ReadFile on the handle's single file
// position, so the pair is held under the device's mutex: the scan worker
// and the save command share one reader and must not interleave.
#include "disk/win32/PhysicalDrive.h"

#include <winioctl.h>

#include <cstdint>
#include <mutex>
#include <new>

#include "common/Bytes.h"

namespace undelete {
namespace {

// DISK_GEOMETRY as the drive returns it: Cylinders (0..7), MediaType (8..11),
// TracksPerCylinder (12..15), SectorsPerTrack (16..19), BytesPerSector (20..23).
constexpr DWORD kGeometryReplySize = 24;
static_assert(sizeof(DISK_GEOMETRY) == kGeometryReplySize, "DISK_GEOMETRY layout");

class Win32Drive : public DriveDevice {
public:
    explicit Win32Drive(HANDLE handle) : handle_(handle) {}
    ~Win32Drive() override { CloseHandle(handle_); }
    Win32Drive(const Win32Drive&) = delete;
    Win32Drive& operator=(const Win32Drive&) = delete;

    bool queryGeometry(DriveGeometry& geometry) override {
        uint8_t reply[kGeometryReplySize] = {};
        DWORD returned = 0;
        // Judged by the size of the reply, not by the call's result.
        (void)DeviceIoControl(handle_, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, reply,
                              sizeof reply, &returned, nullptr);
        if (returned != kGeometryReplySize) return false;
        geometry.tracksPerCylinder = le32(reply + 12);
        geometry.sectorsPerTrack = le32(reply + 16);
        geometry.bytesPerSector = le32(reply + 20);
        return true;
    }

    // A refused lock does not stop the read, so the results are dropped.
    void lockVolume() override { sendControl(FSCTL_LOCK_VOLUME); }
    void unlockVolume() override { sendControl(FSCTL_UNLOCK_VOLUME); }

    uint32_t readAt(uint64_t offset, void* buffer, uint32_t length) override {
        // Beyond this the high part turns negative and the seek is refused.
        if (offset > static_cast<uint64_t>(INT64_MAX)) return 0;
        std::lock_guard<std::mutex> lock(positionMutex_);
        if (!seek(offset)) return 0;
        DWORD got = 0;
        if (!ReadFile(handle_, buffer, length, &got, nullptr)) return 0;
        return got;
    }

    uint64_t sizeInBytes() override {
        // A physical drive tells its length; an image file its size.
        uint8_t reply[8] = {};
        DWORD returned = 0;
        (void)DeviceIoControl(handle_, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, reply, sizeof reply,
                              &returned, nullptr);
        if (returned == sizeof reply) return le64(reply);
        LARGE_INTEGER size{};
        if (GetFileSizeEx(handle_, &size) && size.QuadPart > 0) {
            return static_cast<uint64_t>(size.QuadPart);
        }
        return 0;
    }

private:
    void sendControl(DWORD code) {
        DWORD returned = 0;
        (void)DeviceIoControl(handle_, code, nullptr, 0, nullptr, 0, &returned, nullptr);
    }

    // A failed seek would leave the position where the last read ended and
    // the next read would deliver the wrong bytes as if they were right.
    bool seek(uint64_t offset) {
        LONG high = static_cast<LONG>(offset >> 32);
        SetLastError(NO_ERROR);
        const DWORD low = SetFilePointer(handle_, static_cast<LONG>(offset & 0xFFFFFFFFu),
                                         &high, FILE_BEGIN);
        return low != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
    }

    HANDLE handle_;
    std::mutex positionMutex_;
};

}  // namespace

void formatDrivePath(int number, char (&path)[64]) {
    ZeroMemory(path, sizeof path);
    wsprintfA(path, "\\\\.\\PHYSICALDRIVE%d", number);
}

std::string physicalDrivePath(int number) {
    char path[64];
    formatDrivePath(number, path);
    return path;
}

HANDLE openDrivePath(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

HANDLE openPhysicalDrive(int number) {
    return openDrivePath(physicalDrivePath(number));
}

std::unique_ptr<DriveDevice> adoptPhysicalDrive(HANDLE handle) {
    std::unique_ptr<DriveDevice> device(new (std::nothrow) Win32Drive(handle));
    if (!device) CloseHandle(handle);
    return device;
}

}  // namespace undelete
