// Runs the Win32 drive device against a file (under Wine on the build
// machine, or on Windows): 64-bit positioning, end-of-data and refused
// positions, reads from two threads on one device landing where asked, and
// whole sectors only: the image backend refuses anything else, as a raw
// disk does, and the reader over it still serves any byte range.
// Not part of the core; scripts/build-windows builds it and
// scripts/test-windows runs it.
#include "disk/win32/PhysicalDrive.h"

#include <winioctl.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "disk/DriveReader.h"
#include "disk/DriveSelection.h"
#include "disk/win32/ImageFileDrive.h"

namespace {

using undelete::DriveDevice;

int checks = 0;
int failures = 0;

void expect(bool ok, const char* what) {
    ++checks;
    if (!ok) {
        ++failures;
        std::printf("FAILED: %s\n", what);
    }
}

constexpr uint32_t kPatternBytes = 1u << 20;
constexpr uint64_t kHighOffset = (5ull << 30) + 4096;  // above 4 GiB; its low 32 bits are 4096
const char kMarker[] = "HIGH-MARKER";

uint8_t patternAt(uint64_t offset) {
    return static_cast<uint8_t>((offset * 2654435761u) >> 13);
}

// A 1 MiB pattern at the start and a marker above 4 GiB, sparse in between.
bool writeSample(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD n = 0;
    (void)DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &n, nullptr);
    std::vector<uint8_t> block(kPatternBytes);
    for (uint32_t i = 0; i < kPatternBytes; ++i) block[i] = patternAt(i);
    bool ok = WriteFile(file, block.data(), kPatternBytes, &n, nullptr) && n == kPatternBytes;
    LONG high = static_cast<LONG>(kHighOffset >> 32);
    SetFilePointer(file, static_cast<LONG>(kHighOffset & 0xFFFFFFFFu), &high, FILE_BEGIN);
    ok = ok && WriteFile(file, kMarker, sizeof kMarker, &n, nullptr) && n == sizeof kMarker;
    CloseHandle(file);
    return ok;
}

void checkPositioning(DriveDevice& drive) {
    undelete::DriveGeometry geometry;
    expect(!drive.queryGeometry(geometry), "a file gives no 24-byte geometry reply");
    drive.lockVolume();  // refused on a file; the reads below go ahead anyway
    char text[sizeof kMarker] = {};
    expect(drive.readAt(kHighOffset, text, sizeof kMarker) == sizeof kMarker,
           "read above 4 GiB delivers every byte");
    expect(std::strcmp(text, kMarker) == 0, "read above 4 GiB lands on the marker");
    uint8_t byte = 0;
    expect(drive.readAt(4096, &byte, 1) == 1 && byte == patternAt(4096),
           "read at the low part alone lands in the pattern");
    expect(drive.readAt(kHighOffset + 100, text, 4) == 0, "read past the end delivers nothing");
    expect(drive.readAt(~0ull, text, 4) == 0, "an offset beyond the signed range is refused");
    expect(drive.readAt(0, &byte, 1) == 1 && byte == patternAt(0),
           "the device reads again after refusals");
    drive.unlockVolume();
}

// Each thread reads its own half of the pattern; a read positioned by the
// other thread would deliver the wrong bytes.
void checkTwoThreads(DriveDevice& drive) {
    std::atomic<int> wrong{0};
    std::atomic<int> waiting{2};
    auto reader = [&](uint64_t base, uint32_t seed) {
        uint8_t block[512];
        const uint32_t span = kPatternBytes / 2 - sizeof block;
        // Both start together, so that their reads overlap in time.
        --waiting;
        while (waiting.load() > 0) std::this_thread::yield();
        for (uint32_t i = 0; i < 10000; ++i) {
            const uint64_t offset = base + (seed * 7919u + i * 104729u) % span;
            if (drive.readAt(offset, block, sizeof block) != sizeof block) {
                ++wrong;
                continue;
            }
            for (uint32_t k = 0; k < sizeof block; ++k) {
                if (block[k] != patternAt(offset + k)) {
                    ++wrong;
                    break;
                }
            }
        }
    };
    std::thread first(reader, 0, 1u);
    std::thread second(reader, kPatternBytes / 2, 2u);
    first.join();
    second.join();
    expect(wrong.load() == 0, "reads from two threads each land where asked");
}

void checkWholeSectors(const char* path) {
    for (const uint32_t sector : {512u, 4096u}) {
        std::unique_ptr<DriveDevice> image = undelete::openImageFileDrive(path, sector);
        expect(image != nullptr, "the sample opens as an image");
        if (!image) return;
        std::vector<uint8_t> block(2 * sector);
        expect(image->readAt(sector, block.data(), sector) == sector &&
                   block[0] == patternAt(sector),
               "a whole aligned sector is read");
        expect(image->readAt(sector + 1, block.data(), sector) == 0,
               "a sector at an unaligned offset is refused");
        expect(image->readAt(0, block.data(), sector + 1) == 0, "a part of a sector is refused");

        undelete::DriveReader reader([&] { return undelete::openImageFileDrive(path, sector); },
                                     {});
        std::vector<uint8_t> bytes(3 * sector + 7);
        bool same = reader.open() && reader.readBytes(sector - 3, bytes.data(),
                                                      static_cast<uint32_t>(bytes.size()));
        for (size_t k = 0; same && k < bytes.size(); ++k) same = bytes[k] == patternAt(sector - 3 + k);
        expect(same, "the reader serves an unaligned range through whole sectors");
    }
}

void checkSelection() {
    const std::string path = undelete::defaultDrivePath();
    expect(path == "\\\\.\\PHYSICALDRIVE0", "the default disk is PhysicalDrive0");
    std::string why;
    if (!undelete::checkDriveAccess(path, why)) {
        expect(why.rfind("\\\\.\\PHYSICALDRIVE0: ", 0) == 0 && why.size() > 20,
               "a failed access check names the drive and the reason");
    }
    std::printf("access check: %s\n", why.empty() ? "drive 0 readable" : why.c_str());
}

}  // namespace

int main() {
    const char* path = "win32-drive-check.bin";
    if (!writeSample(path)) {
        std::printf("FAILED: cannot write the sample file\n");
        return 1;
    }
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    std::unique_ptr<DriveDevice> drive;
    if (file != INVALID_HANDLE_VALUE) drive = undelete::adoptPhysicalDrive(file);
    expect(drive != nullptr, "the sample opens as a device");
    if (drive) {
        checkPositioning(*drive);
        checkTwoThreads(*drive);
        drive.reset();
    }
    checkWholeSectors(path);
    checkSelection();
    DeleteFileA(path);
    std::printf("win32 drive check: %d checks, %d failures\n", checks, failures);
    return failures == 0 ? 0 : 1;
}
