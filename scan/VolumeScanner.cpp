#include "scan/VolumeScanner.h"

#include <new>

namespace undelete {
namespace {

class BufferSink : public ContentSink {
public:
    static constexpr uint64_t kLargest = 1u << 30;

    explicit BufferSink(std::vector<uint8_t>& data) : data_(data) {}
    bool begin(uint64_t length) override {
        data_.clear();
        if (length > kLargest) return false;
        data_.reserve(static_cast<size_t>(length));
        return true;
    }
    bool write(const uint8_t* bytes, size_t count) override {
        data_.insert(data_.end(), bytes, bytes + count);
        return true;
    }
    bool skip(uint64_t count) override {
        if (count > kLargest - data_.size()) return false;
        data_.resize(data_.size() + static_cast<size_t>(count), 0);
        return true;
    }

private:
    std::vector<uint8_t>& data_;
};

}  // namespace

bool readWholeContent(VolumeScanner& scanner, uint32_t index, std::vector<uint8_t>& data) {
    BufferSink sink(data);
    bool ok = false;
    try {
        ok = scanner.readContent(index, sink);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (!ok) data.clear();
    return ok;
}

}  // namespace undelete
