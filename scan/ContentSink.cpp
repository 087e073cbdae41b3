#include "scan/ContentSink.h"

namespace undelete {

bool BufferSink::begin(uint64_t length) {
    data_.clear();
    if (length > largest_) return false;
    data_.reserve(static_cast<size_t>(length));
    return true;
}

bool BufferSink::write(const uint8_t* bytes, size_t count) {
    if (count > largest_ - data_.size()) return false;
    data_.insert(data_.end(), bytes, bytes + count);
    return true;
}

bool BufferSink::skip(uint64_t count) {
    if (count > largest_ - data_.size()) return false;
    data_.resize(data_.size() + static_cast<size_t>(count), 0);
    return true;
}

}  // namespace undelete
