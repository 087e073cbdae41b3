// The drive over an opened container: what the core sees of an E01, VHD,
// VHDX, VMDK or QCOW2 file. As strict as a raw disk: only whole sectors at
// aligned offsets are read, anything else is refused. After a large read
// the piece that follows it is read ahead.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>

#include "disk/DriveDevice.h"
#include "disk/images/ContainerReader.h"
#include "disk/images/ReadAhead.h"

namespace undelete {

// One opened container, shared by every drive of it.
struct OpenedContainer {
    explicit OpenedContainer(std::unique_ptr<ContainerReader> opened)
        : reader(std::move(opened)),
          mediaBytes(reader->mediaBytes()),
          ahead([this](uint64_t offset, uint8_t* buffer, size_t length) {
              std::lock_guard<std::mutex> hold(lock);
              return reader->read(offset, buffer, length);
          }) {}
    std::mutex lock;  // the libraries serve one caller at a time
    const std::unique_ptr<ContainerReader> reader;
    const uint64_t mediaBytes;
    ReadAhead ahead;  // stopped before the reader goes
};

class ContainerDrive : public DriveDevice {
public:
    ContainerDrive(std::shared_ptr<OpenedContainer> container, uint32_t sectorBytes)
        : container_(std::move(container)), sectorBytes_(sectorBytes) {}

    // The geometry the POSIX backend gives image files.
    bool queryGeometry(DriveGeometry& geometry) override;
    void lockVolume() override {}
    void unlockVolume() override {}
    uint32_t readAt(uint64_t offset, void* buffer, uint32_t length) override;
    uint64_t sizeInBytes() override { return container_->mediaBytes; }

private:
    std::shared_ptr<OpenedContainer> container_;
    uint32_t sectorBytes_;
};

}  // namespace undelete
