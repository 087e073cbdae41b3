// A scanner that reads its volume through its own drive reader, inside
// the volume's bounds, and tells where each file's content lies: the one
// reader (ContentReader.h) then streams every file system's content alike.
#pragma once
#include <cstdint>

#include "disk/DriveReader.h"
#include "scan/ScanContext.h"
#include "scan/VolumeBounds.h"
#include "scan/VolumeScanner.h"

namespace undelete {

class LayoutScanner : public VolumeScanner {
public:
    // The drive opens the context's disk and tells its failures to the
    // context.
    explicit LayoutScanner(const ScanContext& context);

    bool layout(uint32_t index, FileLayout& layout) override = 0;
    bool readContent(uint32_t index, ContentSink& sink) final;

protected:
    DriveReader drive_;
    MessageSink messages_;
    // Where the volume lies, set by open: nothing outside it is read.
    VolumeBounds bounds_;
};

}  // namespace undelete
