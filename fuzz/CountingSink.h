// A content sink for the volume targets that keeps only a count, and traps
// when a scanner breaks the sink's contract: begin once, pieces no larger
// than a content piece and readable, never more than the length, and the
// whole length when the save says it succeeded. Also the volume targets'
// common end: every listed file described and its content streamed.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/Text.h"
#include "disk/MemoryDrive.h"
#include "scan/ScanContext.h"
#include "scan/VolumeScanner.h"

namespace fuzz {

class CountingSink : public undelete::ContentSink {
public:
    bool begin(uint64_t length) override {
        if (begun_) __builtin_trap();
        begun_ = true;
        length_ = length;
        return true;
    }
    bool write(const uint8_t* bytes, size_t count) override {
        if (count > undelete::kContentPieceBytes || bytes == nullptr) __builtin_trap();
        volatile uint8_t touch = count ? bytes[count - 1] : 0;
        (void)touch;
        return add(count);
    }
    bool skip(uint64_t count) override { return add(count); }
    bool lost(uint64_t count) override { return add(count); }
    void check(bool ok) const {
        if (ok && (!begun_ || got_ != length_)) __builtin_trap();
    }

private:
    bool add(uint64_t count) {
        if (!begun_) __builtin_trap();
        got_ += count;
        if (got_ > length_) __builtin_trap();
        return true;
    }
    bool begun_ = false;
    uint64_t length_ = 0;
    uint64_t got_ = 0;
};

// A volume taken from the input itself, boot sector first: its first 256
// KiB, and at least one whole sector.
inline std::shared_ptr<undelete::MemoryImage> volumeFromInput(const uint8_t* data, size_t size) {
    constexpr size_t kMaxInput = 256 * 1024;
    auto image = std::make_shared<undelete::MemoryImage>();
    const size_t taken = size < kMaxInput ? size : kMaxInput;
    image->bytes.assign(data, data + taken);
    if (taken < 512) image->bytes.resize(512, 0);
    return image;
}

// Every item of an opened scanner: described (a path from the root, when
// `everyItemListed`, every item must describe), its content streamed into
// a CountingSink.
inline void scanEveryFile(undelete::VolumeScanner& scanner, bool everyItemListed = true) {
    undelete::DeletedFile file;
    for (uint32_t i = 0; scanner.hasItem(i); ++i) {
        if (!scanner.describe(i, file)) {
            if (everyItemListed) __builtin_trap();
            continue;
        }
        if (file.path.empty() || file.path.front() != '/' || file.path.back() != '/') {
            if (everyItemListed) __builtin_trap();
        }
        CountingSink sink;
        sink.check(scanner.readContent(i, sink));
    }
}

// A FAT or exFAT target's scan: `image` opened as a row of partition type
// `type` (its file system `kind`), then every file scanned as above.
template <typename Scanner>
void scanVolume(std::shared_ptr<undelete::MemoryImage> image, uint8_t type,
                undelete::FileSystemKind kind = undelete::FileSystemKind::NotProbed) {
    static const bool locale = undelete::initProcessLocale();
    (void)locale;
    undelete::ScanContext context{undelete::memoryDriveOpener(std::move(image)), {}, {}, {}, {}};
    Scanner scanner(context);
    undelete::PartitionRecord record;
    record.partitionType = type;
    record.fileSystem = kind;
    if (scanner.open(&record)) scanEveryFile(scanner);
}

}  // namespace fuzz
