// POSIX backend: a block device or a whole-disk image file, opened
// read-only; every read is a pread, so threads never share a file position.
// An image file in a container format is read through disk/images.
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <initializer_list>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "disk/DriveDevice.h"
#include "disk/DriveSelection.h"
#include "disk/images/ContainerImage.h"

namespace undelete {
namespace {

// A read-only mapping of part of an image file, unmapped with the view.
class MappedView : public DeviceView {
public:
    MappedView(void* map, size_t mapLength, size_t lead, uint64_t length)
        : DeviceView(static_cast<const uint8_t*>(map) + lead, length),
          map_(map),
          mapLength_(mapLength) {}
    ~MappedView() override { ::munmap(map_, mapLength_); }

private:
    void* map_;
    size_t mapLength_;
};

class PosixDrive : public DriveDevice {
public:
    // `imageSectorBytes`: the sectors of an image file, which has none of
    // its own; a block device gives its logical sector size.
    PosixDrive(int fd, uint32_t imageSectorBytes) : fd_(fd), sectorBytes_(imageSectorBytes) {}
    ~PosixDrive() override { ::close(fd_); }

    bool queryGeometry(DriveGeometry& geometry) override {
        struct stat st {};
        if (fstat(fd_, &st) != 0) return false;
        geometry = DriveGeometry{sectorBytes_, 63, 255};
        if (!S_ISBLK(st.st_mode)) return true;
        int sectorSize = 0;
        if (ioctl(fd_, BLKSSZGET, &sectorSize) != 0 || sectorSize <= 0) return false;
        sectorBytes_ = static_cast<uint32_t>(sectorSize);
        geometry.bytesPerSector = sectorBytes_;
        struct hd_geometry hd {};
        if (ioctl(fd_, HDIO_GETGEO, &hd) == 0 && hd.heads != 0 && hd.sectors != 0) {
            geometry.tracksPerCylinder = hd.heads;
            geometry.sectorsPerTrack = hd.sectors;
        }
        return true;
    }

    // There is no volume lock to take on a read-only descriptor.
    void lockVolume() override {}
    void unlockVolume() override {}

    // Whole sectors only, as a raw disk on Windows takes them: a read that
    // would pass here and fail there is refused here too.
    uint32_t readAt(uint64_t offset, void* buffer, uint32_t length) override {
        if (offset > static_cast<uint64_t>(INT64_MAX)) return 0;
        if (sectorBytes_ == 0 || offset % sectorBytes_ != 0 || length % sectorBytes_ != 0) return 0;
        uint32_t done = 0;
        auto* out = static_cast<uint8_t*>(buffer);
        while (done < length) {
            const ssize_t n = pread(fd_, out + done, length - done,
                                    static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<uint32_t>(n);
        }
        return done;
    }

    uint64_t sizeInBytes() override {
        struct stat st {};
        if (fstat(fd_, &st) != 0) return 0;
        if (S_ISREG(st.st_mode)) return st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
        uint64_t bytes = 0;
        if (S_ISBLK(st.st_mode) && ioctl(fd_, BLKGETSIZE64, &bytes) == 0) return bytes;
        return 0;
    }

    // Image files only, and only where every page can be faulted in now
    // (the populate reports a failure instead of raising SIGBUS). A block
    // device is read instead: a bad sector touched through a mapping would
    // end the process, and failing media are what this program is for.
    // The window must lie inside the file's present length; a file cut
    // shorter by another writer while a window is in use could still raise
    // SIGBUS, a race left open (it needs a concurrent truncation of the
    // image being examined).
    std::unique_ptr<DeviceView> view(uint64_t offset, uint64_t length) override {
#ifdef MADV_POPULATE_READ
        struct stat st {};
        if (fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) return nullptr;
        const auto fileBytes = static_cast<uint64_t>(st.st_size);
        if (offset > fileBytes || length > fileBytes - offset) return nullptr;
        const long page = sysconf(_SC_PAGESIZE);
        if (page <= 0) return nullptr;
        const uint64_t lead = offset % static_cast<uint64_t>(page);
        if (length > SIZE_MAX - lead) return nullptr;
        const size_t mapLength = static_cast<size_t>(lead + length);
        void* map = ::mmap(nullptr, mapLength, PROT_READ, MAP_SHARED, fd_,
                           static_cast<off_t>(offset - lead));
        if (map == MAP_FAILED) return nullptr;
        if (::madvise(map, mapLength, MADV_POPULATE_READ) != 0) {
            ::munmap(map, mapLength);
            return nullptr;
        }
        return std::make_unique<MappedView>(map, mapLength, static_cast<size_t>(lead), length);
#else
        (void)offset;
        (void)length;
        return nullptr;
#endif
    }

private:
    int fd_;
    uint32_t sectorBytes_;
};

bool skippedDevice(const std::string& name) {
    for (const char* prefix : {"loop", "ram", "zram", "sr", "fd"}) {
        if (name.rfind(prefix, 0) == 0) return true;
    }
    return name.empty() || name[0] == '.';
}

int openReadOnly(const std::string& path) {
    if (path.empty()) {
        errno = ENOENT;
        return -1;
    }
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

// A block device is a disk whatever its first bytes hold; only a file is
// asked which format it is.
bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string defaultDrivePath() {
    std::vector<std::string> names;
    if (DIR* dir = opendir("/sys/block")) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (!skippedDevice(name)) names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names.empty() ? std::string() : "/dev/" + names.front();
}

DriveOpener driveOpener(const std::string& path, uint32_t imageSectorBytes) {
    const ContainerFormat format =
        isRegularFile(path) ? containerFormatOf(path) : ContainerFormat::None;
    if (format != ContainerFormat::None) return containerOpener(path, format, imageSectorBytes);
    return [path, imageSectorBytes]() -> std::unique_ptr<DriveDevice> {
        const int fd = openReadOnly(path);
        if (fd < 0) return nullptr;
        return std::make_unique<PosixDrive>(fd, imageSectorBytes);
    };
}

bool isDiskPath(const std::string& path, const std::string& diskPath) {
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0) return false;  // a new file
    if (S_ISBLK(target.st_mode)) return true;
    struct stat disk {};
    if (!diskPath.empty() && ::stat(diskPath.c_str(), &disk) == 0 &&
        disk.st_dev == target.st_dev && disk.st_ino == target.st_ino) {
        return true;
    }
    return isContainerFile(diskPath, path);
}

bool checkDriveAccess(const std::string& path, std::string& why) {
    if (path.empty()) {
        why = "no disk found: name a disk or a disk image file";
        return false;
    }
    const int fd = openReadOnly(path);
    if (fd < 0) {
        const int err = errno;
        if (err == EACCES || err == EPERM) {
            why = path + ": permission denied: run as root";
        } else {
            why = path + ": " + std::strerror(err);
        }
        return false;
    }
    ::close(fd);
    const std::unique_ptr<DriveDevice> drive = driveOpener(path)();
    DriveGeometry geometry;
    if (!drive || !drive->queryGeometry(geometry) || geometry.bytesPerSector > (64u << 10)) {
        why = path + ": cannot read the disk geometry";
        return false;
    }
    std::vector<uint8_t> sector(geometry.bytesPerSector);
    if (drive->readAt(0, sector.data(), geometry.bytesPerSector) != geometry.bytesPerSector) {
        why = path + ": cannot read the first sector (not a disk, or shorter than one sector)";
        return false;
    }
    return true;
}

}  // namespace undelete
