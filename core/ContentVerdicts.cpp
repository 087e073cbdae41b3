#include "core/ContentVerdicts.h"

#include <algorithm>
#include <vector>

#include "carve/Recognisers.h"

namespace undelete {
namespace {

// A file's content as the recognisers read it, by offset: the one reader
// streams it from its start into a window of it, again for a window further
// on. The recognisers mostly read onwards, so a file is mostly read once.
class StreamedContent final : public ShownSource {
public:
    static constexpr size_t kWindowBytes = 4u << 20;

    StreamedContent(ScannedVolume& volume, uint32_t index, uint64_t size)
        : volume_(volume), index_(index), size_(size) {}
    uint64_t size() const override { return size_; }
    const uint8_t* peek(uint64_t offset, size_t length) override {
        if (!fits(offset, length, size_)) return nullptr;
        if (!holds(offset, length) && !fill(offset, length)) return nullptr;
        return window_.data() + (offset - start_);
    }

private:
    // Keeps the bytes from `skip` on, until the window is full.
    class WindowSink final : public ContentSink {
    public:
        WindowSink(std::vector<uint8_t>& window, uint64_t skip, size_t limit)
            : window_(window), skip_(skip), limit_(limit) {}
        bool begin(uint64_t) override { return true; }
        bool write(const uint8_t* bytes, size_t count) override { return take(bytes, count); }
        bool skip(uint64_t count) override { return take(nullptr, count); }
        bool lost(uint64_t) override { return false; }  // unread is no content to judge

    private:
        bool take(const uint8_t* bytes, uint64_t count) {
            const uint64_t passed = std::min(count, skip_);
            skip_ -= passed;
            count -= passed;
            const size_t room = limit_ - window_.size();
            const size_t n = static_cast<size_t>(std::min<uint64_t>(count, room));
            if (bytes != nullptr) window_.insert(window_.end(), bytes + passed, bytes + passed + n);
            else window_.resize(window_.size() + n, 0);
            return window_.size() < limit_;  // full: the read ends
        }
        std::vector<uint8_t>& window_;
        uint64_t skip_;
        const size_t limit_;
    };

    bool holds(uint64_t offset, size_t length) const {
        return offset >= start_ && offset - start_ <= window_.size() &&
               length <= window_.size() - (offset - start_);
    }
    bool fill(uint64_t offset, size_t length) {
        const size_t want = static_cast<size_t>(
            std::min<uint64_t>(std::max(length, kWindowBytes), size_ - offset));
        window_.clear();
        window_.reserve(want);
        start_ = offset;
        WindowSink sink(window_, offset, want);
        volume_.readContent(index_, sink);
        return holds(offset, length);
    }

    ScannedVolume& volume_;
    const uint32_t index_;
    const uint64_t size_;
    std::vector<uint8_t> window_;
    uint64_t start_ = 0;
};

}  // namespace

ContentVerdict checkListedContent(ScannedVolume& volume, uint32_t index, const DeletedFile& file) {
    const std::string extension = nameExtension(file.name);
    if (recognisersForExtension(extension).empty() || file.size == 0) {
        return ContentVerdict::Unknown;
    }
    try {
        StreamedContent content(volume, index, file.size);
        return checkContent(extension, content);
    } catch (const std::bad_alloc&) {
        return ContentVerdict::Unknown;
    }
}

}  // namespace undelete
