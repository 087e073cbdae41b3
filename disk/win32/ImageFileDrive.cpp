#include "disk/win32/ImageFileDrive.h"

#include <cstdint>
#include <new>

#include "disk/win32/PhysicalDrive.h"

namespace undelete {
namespace {

class ImageFileDrive : public DriveDevice {
public:
    explicit ImageFileDrive(HANDLE handle) : handle_(handle) {}
    ~ImageFileDrive() override { CloseHandle(handle_); }
    ImageFileDrive(const ImageFileDrive&) = delete;
    ImageFileDrive& operator=(const ImageFileDrive&) = delete;

    bool queryGeometry(DriveGeometry& geometry) override {
        geometry = DriveGeometry{512, 63, 255};
        return true;
    }

    // A file has no volume to lock.
    void lockVolume() override {}
    void unlockVolume() override {}

    // Each read names its own offset, so the two threads that share a
    // reader never depend on a shared file position.
    uint32_t readAt(uint64_t offset, void* buffer, uint32_t length) override {
        if (offset > static_cast<uint64_t>(INT64_MAX)) return 0;
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
};

}  // namespace

std::unique_ptr<DriveDevice> openImageFileDrive(const std::string& path) {
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    std::unique_ptr<DriveDevice> drive(new (std::nothrow) ImageFileDrive(handle));
    if (!drive) CloseHandle(handle);
    return drive;
}

}  // namespace undelete
