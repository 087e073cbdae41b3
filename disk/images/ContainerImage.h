// Disk images kept in a container format rather than as the disk's bytes:
// an EnCase copy (E01, possibly split into .E02, .E03...), VHD and VHDX,
// VMDK, QCOW2. Each is read through the library made for its format and
// shown to the core as a drive like any other: read-only, whole sectors.
// The format is told by the file's own signature, never by its name.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "disk/DriveDevice.h"

namespace undelete {

enum class ContainerFormat { None, Ewf, Vhd, Vhdx, Vmdk, Qcow };

// The format's usual name ("E01", "VHD", "VHDX", "VMDK", "QCOW2").
const char* containerName(ContainerFormat format);

// Which container `path` holds by its signature; None for anything else
// (a raw image, a block device, a file that cannot be read).
ContainerFormat containerFormatOf(const std::string& path);

// Why a container cannot be read.
struct ContainerRefusal {
    enum class Reason {
        Damaged,        // detail: the library's own words
        Encrypted,      // detail: the encrypted file
        MissingParent,  // detail: the name the image gives its parent
        ForeignParent,  // detail: the parent, of a format the library cannot layer
        Unsupported,    // detail: what
    };
    ContainerFormat format = ContainerFormat::None;
    Reason reason = Reason::Damaged;
    std::string detail;
};

// An opener of the container `path` of `format`, read with `sectorBytes`
// sectors. The container is opened once in the process: every drive of it
// reads the same one (each read whole under a lock, as the libraries serve
// one caller at a time). Null when it cannot be opened; checkContainer
// tells why.
DriveOpener containerOpener(const std::string& path, ContainerFormat format,
                            uint32_t sectorBytes);

// True when `target` is one of the files the container `diskPath`, opened
// in this process, is read from: a segment, a parent, an extent. Writing
// there would destroy the disk being read.
bool isContainerFile(const std::string& diskPath, const std::string& target);

// True when `path` is no container, or a container that opens; otherwise
// fills `refusal`.
bool checkContainer(const std::string& path, ContainerRefusal& refusal);

}  // namespace undelete
