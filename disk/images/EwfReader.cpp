// EnCase images (E01, and the segments after it) through libewf. The first
// segment opens the whole set: its siblings are found by libewf's naming
// scheme (.E01, .E02, ... .EAA); a file named otherwise opens alone.
#include <libewf.h>

#include <string>
#include <vector>

#include "disk/images/ContainerReader.h"

namespace undelete {
namespace {

std::string reasonOf(libewf_error_t*& error) {
    char text[4096] = {};
    if (error != nullptr) {
        libewf_error_backtrace_sprint(error, text, sizeof text);
        libewf_error_free(&error);
    }
    return container::innermostReason(text);
}

// Every chunk carries a checksum. libewf hands out a chunk that fails it
// and only counts the failure: such a read fails here, as an unreadable
// sector of a disk would, rather than passing damaged bytes on as data.
class EwfReader : public ContainerReader {
public:
    explicit EwfReader(libewf_handle_t* handle) : handle_(handle) {}
    EwfReader(const EwfReader&) = delete;
    EwfReader& operator=(const EwfReader&) = delete;
    ~EwfReader() override {
        libewf_handle_close(handle_, nullptr);
        libewf_handle_free(&handle_, nullptr);
    }

    // A set cut short or missing sections opens, then fails at the chunks it
    // lacks: it is refused whole instead.
    bool start(std::vector<std::string> segments, std::string& reason) {
        segments_ = std::move(segments);
        if (libewf_handle_segment_files_corrupted(handle_, nullptr) != 0) {
            reason = "segment files incomplete or corrupted";
            return false;
        }
        libewf_error_t* error = nullptr;
        size64_t size = 0;
        if (libewf_handle_get_media_size(handle_, &size, &error) != 1 ||
            libewf_handle_get_number_of_checksum_errors(handle_, &checksumErrors_, &error) != 1) {
            reason = reasonOf(error);
            return false;
        }
        media_ = size;
        return true;
    }

    uint64_t mediaBytes() const override { return media_; }
    std::vector<std::string> files() const override { return segments_; }

    bool read(uint64_t offset, uint8_t* buffer, size_t length) override {
        const ssize_t n = libewf_handle_read_random(handle_, buffer, length,
                                                    static_cast<off64_t>(offset), nullptr);
        uint32_t errors = 0;
        if (libewf_handle_get_number_of_checksum_errors(handle_, &errors, nullptr) != 1) return false;
        const bool damaged = errors != checksumErrors_ || touchesDamage(offset, length);
        checksumErrors_ = errors;
        return !damaged && n >= 0 && static_cast<size_t>(n) == length;
    }

private:
    // A damaged chunk read again comes from libewf's cache without being
    // counted again: the ranges counted so far are checked too.
    bool touchesDamage(uint64_t offset, size_t length) {
        if (checksumErrors_ == 0) return false;
        uint32_t bytesPerSector = 0;
        if (libewf_handle_get_bytes_per_sector(handle_, &bytesPerSector, nullptr) != 1) return true;
        for (uint32_t i = 0; i < checksumErrors_; ++i) {
            uint64_t first = 0, count = 0;
            if (libewf_handle_get_checksum_error(handle_, i, &first, &count, nullptr) != 1) return true;
            const uint64_t start = first * bytesPerSector, end = start + count * bytesPerSector;
            if (start < offset + length && offset < end) return true;
        }
        return false;
    }

    libewf_handle_t* handle_;
    std::vector<std::string> segments_;
    uint64_t media_ = 0;
    uint32_t checksumErrors_ = 0;
};

// The segment files of the set `path` begins, or `path` alone.
bool openSegments(libewf_handle_t* handle, const std::string& path,
                  std::vector<std::string>& segments, std::string& reason) {
    char** names = nullptr;
    int count = 0;
    libewf_error_t* error = nullptr;
    if (libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &names, &count, nullptr) != 1) {
        names = nullptr;
        count = 0;
    }
    for (int i = 0; i < count; ++i) segments.emplace_back(names[i]);
    if (count == 0) segments = {path};
    char* alone[] = {const_cast<char*>(path.c_str())};
    const int opened = libewf_handle_open(handle, count > 0 ? names : alone, count > 0 ? count : 1,
                                          LIBEWF_OPEN_READ, &error);
    if (names != nullptr) libewf_glob_free(names, count, nullptr);
    if (opened != 1) reason = reasonOf(error);
    return opened == 1;
}

}  // namespace

std::unique_ptr<ContainerReader> openEwf(const std::string& path, ContainerRefusal& refusal) {
    libewf_handle_t* handle = nullptr;
    libewf_error_t* error = nullptr;
    refusal.reason = ContainerRefusal::Reason::Damaged;
    if (libewf_handle_initialize(&handle, &error) != 1) {
        refusal.detail = reasonOf(error);
        return nullptr;
    }
    auto reader = std::make_unique<EwfReader>(handle);
    std::vector<std::string> segments;
    if (!openSegments(handle, path, segments, refusal.detail) ||
        !reader->start(std::move(segments), refusal.detail)) {
        return nullptr;
    }
    return reader;
}

}  // namespace undelete
