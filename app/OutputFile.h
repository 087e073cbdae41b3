// The file a recovered file is saved to, written as the content streams
// in. Nothing already on disk is lost to a failed save: a new file is
// removed again, and an existing regular file is only replaced, in one
// rename, once the whole content has been written beside it.
#pragma once
#include <cstdint>
#include <string>

#include "scan/DeletedFile.h"

#include "scan/VolumeScanner.h"

namespace undelete {

// A path under `folder` for `file` that names nothing yet: its folder path
// inside the volume (made as needed; ".." and empty parts dropped), then its
// name with characters no file name may hold replaced, and " (1)", " (2)" …
// before the extension when the name is taken. False when no such path
// could be had (the folder cannot be made, every suffix taken).
bool makeSavePath(const std::string& folder, const DeletedFile& file, uint64_t index,
                  std::string& path);

class OutputFile : public ContentSink {
public:
    explicit OutputFile(std::string path);
    // Discards what is not finished.
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool begin(uint64_t length) override;
    bool write(const uint8_t* bytes, size_t count) override;
    // A hole: seeks where it can, so the file gets a hole of its own;
    // writes zeros to a device or pipe.
    bool skip(uint64_t count) override;
    // Unreadable bytes: zeros in the file, and counted.
    bool lost(uint64_t count) override;

    // True when the path now holds exactly the content announced by begin.
    bool finish();
    // Leaves the path as it was before begin.
    void discard();

    // The system's error number of the first failure (0: none, or the
    // content fell short).
    int error() const { return error_; }
    // The length announced by begin.
    uint64_t length() const { return length_; }
    // Bytes of the content that could not be read from the disk.
    uint64_t lostBytes() const { return lost_; }

private:
    bool fail(int error);
    bool closeFile();

    std::string path_;
    std::string temporary_;  // written instead of path_ when replacing a file
    int fd_ = -1;
    bool created_ = false;   // path_ did not exist and was made by begin
    bool seekable_ = true;
    bool holesAsked_ = false;  // the file was asked to keep holes as holes
    bool finished_ = false;
    uint64_t length_ = 0;
    uint64_t position_ = 0;
    uint64_t lost_ = 0;
    int error_ = 0;
};

}  // namespace undelete
