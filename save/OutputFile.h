// The file a recovered file's content streams into, as it is opened: a new
// file made here, or a device or pipe written from its start. It only
// writes; where the file lies and under which name it ends up is the
// save service's (SaveService.h).
#pragma once
#include <cstdint>
#include <string>

#include "scan/VolumeScanner.h"

namespace undelete {

class OutputFile : public ContentSink {
public:
    OutputFile() = default;
    // Closes what is still open.
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Makes `path`, which must not exist yet (an earlier failure of
    // this object is forgotten: a caller may try another name).
    bool create(const std::string& path);
    // Opens `path`, a device or pipe, to be written as it is (likewise).
    bool openDevice(const std::string& path);
    // Gives the new file the permission bits `mode` (of a file it replaces).
    void setMode(unsigned mode);

    bool begin(uint64_t length) override;
    bool write(const uint8_t* bytes, size_t count) override;
    // A hole: seeks where it can, so the file gets a hole of its own;
    // writes zeros to a device or pipe.
    bool skip(uint64_t count) override;
    // Unreadable bytes: zeros in the file, and counted.
    bool lost(uint64_t count) override;

    // True once the file holds exactly the content announced by begin, on
    // the storage itself (flushed, unless `flush` is false: the caller
    // flushes it later), and is closed.
    bool finish(bool flush = true);
    void close();

    // The system's error number of the first failure (0: none, or the
    // content fell short).
    int error() const { return error_; }
    // The length announced by begin.
    uint64_t length() const { return length_; }
    // Bytes of the content that could not be read from the disk.
    uint64_t lostBytes() const { return lost_; }

private:
    bool fail(int error);

    int fd_ = -1;
    bool seekable_ = true;
    bool holesAsked_ = false;  // the file was asked to keep holes as holes
    bool begun_ = false;
    uint64_t length_ = 0;
    uint64_t position_ = 0;
    uint64_t lost_ = 0;
    int error_ = 0;
};

}  // namespace undelete
