// One opened container, read as the disk it holds: the seam between the
// drive (alignment, threads) and each format's library.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "disk/images/ContainerImage.h"

namespace undelete {

class ContainerReader {
public:
    virtual ~ContainerReader() = default;
    // The size of the disk inside, in bytes.
    virtual uint64_t mediaBytes() const = 0;
    // Exactly `length` bytes at `offset` (inside mediaBytes()), or false.
    // Called by one thread at a time.
    virtual bool read(uint64_t offset, uint8_t* buffer, size_t length) = 0;
    // Every file the disk is read from (segments, parents, extents).
    virtual std::vector<std::string> files() const = 0;
};

// Each format's opener: the reader, or null with `refusal` filled in.
std::unique_ptr<ContainerReader> openEwf(const std::string& path, ContainerRefusal& refusal);
std::unique_ptr<ContainerReader> openVhdi(const std::string& path, ContainerRefusal& refusal);
std::unique_ptr<ContainerReader> openVmdk(const std::string& path, ContainerRefusal& refusal);
std::unique_ptr<ContainerReader> openQcow(const std::string& path, ContainerRefusal& refusal);

// Shared by the openers.
namespace container {

// A layered image names its parent by the path it was made with, often
// another machine's ("C:\VMs\base.vhdx"): that path when it exists, else
// the same name beside `child`; empty when neither exists.
std::string findParent(const std::string& child, const std::string& stored);

// Parents an image may stack before it is refused: a chain that names
// itself would otherwise never end.
constexpr int kMaxParents = 16;

// The most specific line of a library's error backtrace (its first), without
// the function name that leads it.
std::string innermostReason(const char* backtrace);

}  // namespace container
}  // namespace undelete
