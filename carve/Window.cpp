#include "carve/Window.h"

#include <algorithm>
#include <cstring>

namespace undelete {

const uint8_t* Window::at(uint64_t offset, size_t length) {
    if (length > kBytes || !has(offset, length)) return nullptr;
    if (const uint8_t* bytes = source_.peek(offset, length)) return bytes;
    if (offset >= start_ && offset - start_ <= held_ && length <= held_ - (offset - start_)) {
        return buffer_.get() + (offset - start_);
    }
    // No larger than the source: a small file's walk takes little memory.
    if (capacity_ == 0) {
        capacity_ = static_cast<size_t>(std::min<uint64_t>(kBytes, size()));
        buffer_.reset(new uint8_t[capacity_]);
    }
    // Read ahead a whole window; should that fail (a bad sector further
    // on, say), only what was asked.
    size_t want = static_cast<size_t>(std::min<uint64_t>(capacity_, size() - offset));
    if (!source_.read(offset, buffer_.get(), want)) {
        want = length;
        if (!source_.read(offset, buffer_.get(), want)) {
            held_ = 0;
            return nullptr;
        }
    }
    start_ = offset;
    held_ = want;
    return buffer_.get();
}

const uint8_t* Window::run(uint64_t offset, uint64_t end, size_t& length) {
    end = std::min(end, size());
    length = offset < end ? static_cast<size_t>(std::min<uint64_t>(kBytes, end - offset)) : 0;
    if (length == 0) return nullptr;
    const uint8_t* bytes = at(offset, length);
    if (bytes == nullptr) length = 0;
    return bytes;
}

uint64_t Window::find(uint64_t from, uint64_t to, uint8_t byte) {
    size_t length = 0;
    for (uint64_t pos = from; const uint8_t* bytes = run(pos, to, length); pos += length) {
        if (const void* hit = std::memchr(bytes, byte, length)) {
            return pos + static_cast<uint64_t>(static_cast<const uint8_t*>(hit) - bytes);
        }
    }
    return kNowhere;
}

uint64_t Window::find(uint64_t from, uint64_t to, const char* text, size_t length) {
    if (length == 0 || length > kBytes) return kNowhere;
    to = std::min(to, size());
    for (uint64_t pos = from; pos < to && to - pos >= length;) {
        pos = find(pos, to - length + 1, static_cast<uint8_t>(text[0]));
        if (pos == kNowhere) return kNowhere;
        const uint8_t* bytes = at(pos, length);
        if (bytes == nullptr) return kNowhere;
        if (std::memcmp(bytes, text, length) == 0) return pos;
        ++pos;
    }
    return kNowhere;
}

bool Window::u8(uint64_t offset, uint8_t& value) {
    const uint8_t* p = at(offset, 1);
    if (p) value = *p;
    return p != nullptr;
}

#define UNDELETE_WINDOW_FIELD(name, type, bytes)      \
    bool Window::name(uint64_t offset, type& value) { \
        const uint8_t* p = at(offset, bytes);         \
        if (p) value = undelete::name(p);             \
        return p != nullptr;                          \
    }
UNDELETE_WINDOW_FIELD(le16, uint16_t, 2)
UNDELETE_WINDOW_FIELD(le32, uint32_t, 4)
UNDELETE_WINDOW_FIELD(le64, uint64_t, 8)
UNDELETE_WINDOW_FIELD(be16, uint16_t, 2)
UNDELETE_WINDOW_FIELD(be32, uint32_t, 4)
UNDELETE_WINDOW_FIELD(be64, uint64_t, 8)
#undef UNDELETE_WINDOW_FIELD

}  // namespace undelete
