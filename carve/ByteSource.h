// The bytes a recogniser or the carving pass reads: a region of a disk, a
// listed file's content, or a buffer, asked for by offset. A source may be
// far larger than memory; its readers hold only bounded windows of it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/Bytes.h"

namespace undelete {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t size() const = 0;
    // Fills `into` with the `length` bytes at `offset`; false when any of
    // them lies past size() or cannot be read.
    virtual bool read(uint64_t offset, uint8_t* into, size_t length) = 0;
    // The `length` bytes at `offset` where they already lie in memory, so
    // that they need no copy; null otherwise (the caller reads them). The
    // pointer stays valid until the next call of peek (a source backed by
    // a device's windows may keep only the last one).
    virtual const uint8_t* peek(uint64_t /*offset*/, size_t /*length*/) { return nullptr; }
};

// A source that shows every byte it has: a read copies what peek shows.
class ShownSource : public ByteSource {
public:
    bool read(uint64_t offset, uint8_t* into, size_t length) override {
        const uint8_t* from = peek(offset, length);
        if (from == nullptr) return false;
        if (length) std::memcpy(into, from, length);
        return true;
    }
};

// A buffer the caller keeps alive.
class MemorySource final : public ShownSource {
public:
    MemorySource(const uint8_t* bytes, size_t length) : bytes_(bytes), length_(length) {}
    uint64_t size() const override { return length_; }
    const uint8_t* peek(uint64_t offset, size_t length) override {
        return fits(offset, length, length_) ? bytes_ + offset : nullptr;
    }

private:
    const uint8_t* bytes_;
    size_t length_;
};

// `length` bytes of another source from its byte `start` on, seen from 0.
class SliceSource final : public ByteSource {
public:
    SliceSource(ByteSource& whole, uint64_t start, uint64_t length)
        : whole_(whole),
          start_(start),
          length_(start <= whole.size()
                      ? (length < whole.size() - start ? length : whole.size() - start)
                      : 0) {}
    uint64_t size() const override { return length_; }
    bool read(uint64_t offset, uint8_t* into, size_t length) override {
        return fits(offset, length, length_) && whole_.read(start_ + offset, into, length);
    }
    const uint8_t* peek(uint64_t offset, size_t length) override {
        return fits(offset, length, length_) ? whole_.peek(start_ + offset, length) : nullptr;
    }

private:
    ByteSource& whole_;
    uint64_t start_;
    uint64_t length_;
};

}  // namespace undelete
