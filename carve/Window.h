// A recogniser's view of a file's bytes: asks for at most kBytes at a time,
// at any offset, and gets a pointer to them or null when they are not all
// there. Only one window's worth is held, whatever the file's size.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "carve/ByteSource.h"

namespace undelete {

class Window {
public:
    static constexpr size_t kBytes = 256 * 1024;
    // No offset at or past this: returned by the searches when nothing is found.
    static constexpr uint64_t kNowhere = ~uint64_t{0};

    explicit Window(ByteSource& source) : source_(source) {}
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    uint64_t size() const { return source_.size(); }
    bool has(uint64_t offset, uint64_t length) const { return fits(offset, length, size()); }

    // The `length` (at most kBytes) bytes at `offset`; valid until the next
    // call. Null when they do not all lie in the source or cannot be read.
    const uint8_t* at(uint64_t offset, size_t length);

    // Up to kBytes from `offset` on, never past `end` nor the source's end:
    // sets `length` to how many (0 at the end). For walking every byte.
    const uint8_t* run(uint64_t offset, uint64_t end, size_t& length);

    // The first `byte` in [from, to), or kNowhere; also kNowhere when a read
    // fails on the way.
    uint64_t find(uint64_t from, uint64_t to, uint8_t byte);
    // The first place in [from, to) where `text` begins, or kNowhere.
    uint64_t find(uint64_t from, uint64_t to, const char* text, size_t length);

    bool u8(uint64_t offset, uint8_t& value);
    bool le16(uint64_t offset, uint16_t& value);
    bool le32(uint64_t offset, uint32_t& value);
    bool le64(uint64_t offset, uint64_t& value);
    bool be16(uint64_t offset, uint16_t& value);
    bool be32(uint64_t offset, uint32_t& value);
    bool be64(uint64_t offset, uint64_t& value);

private:
    ByteSource& source_;
    std::unique_ptr<uint8_t[]> buffer_;  // made at the first miss
    size_t capacity_ = 0;
    uint64_t start_ = 0;  // the offset of buffer_[0]
    size_t held_ = 0;     // bytes of buffer_ that hold the source's
};

}  // namespace undelete
