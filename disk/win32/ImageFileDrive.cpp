#include "disk/win32/ImageFileDrive.h"

#include <cstdint>
#include <new>

#include "common/Text.h"
#include "disk/win32/PhysicalDrive.h"

namespace undelete {
namespace {

class ImageFileDrive : public DriveDevice {
public:
    ImageFileDrive(HANDLE handle, uint32_t sectorBytes) : handle_(handle), sectorBytes_(sectorBytes) {}
    ~ImageFileDrive() override { CloseHandle(handle_); }
    ImageFileDrive(const ImageFileDrive&) = delete;
    ImageFileDrive& operator=(const ImageFileDrive&) = delete;

    bool queryGeometry(DriveGeometry& geometry) override {
        geometry = DriveGeometry{sectorBytes_, 63, 255};
        return true;
    }

    // A file has no volume to lock.
    void lockVolume() override {}
    void unlockVolume() override {}

    // Each read names its own offset, so the two threads that share a
    // reader never depend on a shared file position. Whole sectors only, as
    // the physical drive takes them.
    uint32_t readAt(uint64_t offset, void* buffer, uint32_t length) override {
        if (offset > static_cast<uint64_t>(INT64_MAX)) return 0;
        if (sectorBytes_ == 0 || offset % sectorBytes_ != 0 || length % sectorBytes_ != 0) return 0;
        auto* out = static_cast<uint8_t*>(buffer);
        uint32_t done = 0;
        while (done < length) {
            const uint64_t at = offset + done;
            if (at > static_cast<uint64_t>(INT64_MAX)) break;
            OVERLAPPED where{};
            where.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
            where.OffsetHigh = static_cast<DWORD>(at >> 32);
            DWORD got = 0;
            if (!ReadFile(handle_, out + done, length - done, &got, &where) || got == 0) break;
            done += got;
        }
        return done;
    }

    uint64_t sizeInBytes() override {
        LARGE_INTEGER size{};
        return GetFileSizeEx(handle_, &size) && size.QuadPart > 0
                   ? static_cast<uint64_t>(size.QuadPart)
                   : 0;
    }

private:
    HANDLE handle_;
    uint32_t sectorBytes_;
};

}  // namespace

std::unique_ptr<DriveDevice> openImageFileDrive(const std::string& path, uint32_t sectorBytes) {
    const HANDLE handle = CreateFileW(wideText(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    std::unique_ptr<DriveDevice> drive(new (std::nothrow) ImageFileDrive(handle, sectorBytes));
    if (!drive) CloseHandle(handle);
    return drive;
}

}  // namespace undelete
