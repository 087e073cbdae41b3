// The drive over an opened container: what the core sees of an E01, VHD,
// VHDX, VMDK or QCOW2 file. As strict as a raw disk: only whole sectors at
// aligned offsets are read, anything else is refused.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>

#include "disk/DriveDevice.h"
#include "disk/images/ContainerReader.h"

namespace undelete {

// One opened container, shared by the drives of one opener.
struct OpenedContainer {
    explicit OpenedContainer(std::unique_ptr<ContainerReader> opened)
        : reader(std::move(opened)), mediaBytes(reader->mediaBytes()) {}
    std::mutex lock;  // the libraries serve one caller at a time
    const std::unique_ptr<ContainerReader> reader;
    const uint64_t mediaBytes;
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
