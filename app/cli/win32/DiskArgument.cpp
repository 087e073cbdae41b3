#include "app/cli/win32/DiskArgument.h"

#include <cerrno>
#include <cstring>

#include "app/Language.h"
#include "app/cli/BatchRun.h"
#include "disk/DriveSelection.h"
#include "disk/win32/ImageFileDrive.h"
#include "disk/win32/PhysicalDrive.h"
#include "save/FileSystem.h"

namespace undelete {
namespace {

bool isDrivePath(const std::string& path) {
    const std::string prefix = "\\\\.\\PHYSICALDRIVE";
    return path.size() > prefix.size() &&
           lstrcmpiA(path.substr(0, prefix.size()).c_str(), prefix.c_str()) == 0;
}

// The system's refusal as the C library's error number, whose text the
// Linux program gives for the same failure.
int errnoOf(DWORD error) {
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return EACCES;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME: return ENOENT;
    default: return EIO;
    }
}

bool checkDrive(const std::string& path) {
    const HANDLE handle = openDrivePath(path);
    if (handle == INVALID_HANDLE_VALUE) {
        const int error = errnoOf(GetLastError());
        if (error == EACCES) {
            // Windows lets only an elevated process read a drive raw.
            printError("%s：%s（读取磁盘需要管理员权限：请以管理员身份运行）", path.c_str(),
                       systemErrorText(error).c_str());
        } else {
            printError("%s：%s", path.c_str(), systemErrorText(error).c_str());
        }
        return false;
    }
    CloseHandle(handle);
    std::string why;
    if (!checkDriveAccess(path, why)) {
        printError("%s", why.c_str());
        return false;
    }
    return true;
}

bool checkImage(const std::string& path) {
    const FileInfo info = inspect(path);
    if (info.kind == FileKind::Missing) {
        printError("%s：%s", path.c_str(), systemErrorText(info.error).c_str());
        return false;
    }
    if (info.kind != FileKind::File) {
        printError("%s：不是磁盘或磁盘映像文件", path.c_str());
        return false;
    }
    if (!openImageFileDrive(path)) {
        printError("%s：%s", path.c_str(), systemErrorText(errnoOf(GetLastError())).c_str());
        return false;
    }
    return true;
}

}  // namespace

std::string diskPathOf(const std::string& argument) {
    if (argument.empty()) return defaultDrivePath();
    if (argument.size() <= 3 && argument.find_first_not_of("0123456789") == std::string::npos) {
        return physicalDrivePath(std::stoi(argument));
    }
    return argument;
}

bool checkDisk(const std::string& path) {
    return isDrivePath(path) ? checkDrive(path) : checkImage(path);
}

DriveOpener diskOpener(const std::string& path, uint32_t imageSectorBytes) {
    if (isDrivePath(path)) return driveOpener(path);
    return [path, imageSectorBytes] { return openImageFileDrive(path, imageSectorBytes); };
}

}  // namespace undelete
