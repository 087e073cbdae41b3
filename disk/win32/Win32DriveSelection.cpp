// Drive 0 on Windows is always PhysicalDrive0: a path named by a front end
// is not used (a file has no drive geometry to offer anyway). The access
// check opens the drive the way the reader does and says why it failed.
#include <cstdint>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "disk/DriveSelection.h"
#include "disk/win32/PhysicalDrive.h"

namespace undelete {
namespace {

// The system's own sentence for an error code, without its line break.
std::string systemErrorText(DWORD error) {
    char text[256] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, text, sizeof text, nullptr);
    std::string result(text, n < sizeof text ? n : 0);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                               result.back() == ' ' || result.back() == '.')) {
        result.pop_back();
    }
    if (result.empty()) {
        char code[40];
        std::snprintf(code, sizeof code, "Windows error %lu", static_cast<unsigned long>(error));
        result = code;
    }
    return result;
}

std::string openFailureText(DWORD error) {
    switch (error) {
    case ERROR_ACCESS_DENIED:
        return "access denied: run as administrator";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return "no such drive";
    default:
        return systemErrorText(error);
    }
}

// Reads the first sector as the reader would, lock and unlock included.
bool readFirstSector(DriveDevice& drive, uint32_t bytesPerSector) {
    try {
        std::vector<uint8_t> sector(bytesPerSector);
        drive.lockVolume();
        const uint32_t got = drive.readAt(0, sector.data(), bytesPerSector);
        drive.unlockVolume();
        return got == bytesPerSector;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace

std::string defaultDrivePath() {
    return physicalDrivePath(0);
}

DriveOpener driveOpener(const std::string& path, uint32_t) {
    return [path]() -> std::unique_ptr<DriveDevice> {
        const HANDLE handle = openDrivePath(path);
        if (handle == INVALID_HANDLE_VALUE) return nullptr;
        return adoptPhysicalDrive(handle);
    };
}

bool checkDriveAccess(const std::string& path, std::string& why) {
    const HANDLE handle = openDrivePath(path);
    if (handle == INVALID_HANDLE_VALUE) {
        why = path + ": " + openFailureText(GetLastError());
        return false;
    }
    std::unique_ptr<DriveDevice> drive = adoptPhysicalDrive(handle);
    if (!drive) {
        why = path + ": out of memory";
        return false;
    }
    DriveGeometry geometry;
    if (!drive->queryGeometry(geometry) || geometry.bytesPerSector == 0) {
        why = path + ": cannot read the disk geometry";
        return false;
    }
    if (!readFirstSector(*drive, geometry.bytesPerSector)) {
        why = path + ": cannot read the first sector";
        return false;
    }
    return true;
}

// Paths in the device namespace ("\\.\PhysicalDrive0", "\\.\C:") reach
// raw devices; a save dialog never offers them for an ordinary file.
bool isDiskPath(const std::string& path, const std::string&) {
    return path.size() >= 4 && (path[0] == '\\' || path[0] == '/') &&
           (path[1] == '\\' || path[1] == '/') && (path[2] == '.' || path[2] == '?') &&
           (path[3] == '\\' || path[3] == '/');
}

}  // namespace undelete
