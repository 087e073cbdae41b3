#include "scan/VolumeScanner.h"

#include <new>

#include "scan/ScanContext.h"

namespace undelete {

const char kFolderOutsideVolumeMessage[] = "有文件夹的簇位于卷外，其中的文件未列出";

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
