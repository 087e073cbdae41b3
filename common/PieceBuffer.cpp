#include "common/PieceBuffer.h"

#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace undelete {

#if defined(__linux__)
namespace {
constexpr size_t kHugePage = 2u << 20;
}
#endif

PieceBuffer::~PieceBuffer() {
#if defined(__linux__)
    std::free(bytes_);
#else
    delete[] bytes_;
#endif
}

uint8_t* PieceBuffer::reserve(size_t bytes) {
    if (bytes <= capacity_) return bytes_;
#if defined(__linux__)
    if (bytes > SIZE_MAX - kHugePage) throw std::bad_alloc();
    const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* memory = std::aligned_alloc(kHugePage, rounded);
    if (memory == nullptr) throw std::bad_alloc();
    (void)::madvise(memory, rounded, MADV_HUGEPAGE);  // a wish: plain pages otherwise
    std::free(bytes_);
#else
    const size_t rounded = bytes;
    uint8_t* memory = new uint8_t[rounded];
    delete[] bytes_;
#endif
    bytes_ = static_cast<uint8_t*>(memory);
    capacity_ = rounded;
    return bytes_;
}

}  // namespace undelete
