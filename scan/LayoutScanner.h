// A scanner that reads its volume through its own drive reader, inside
// the volume's bounds, and tells where each file's content lies: the one
// reader (ContentReader.h) then streams every file system's content alike.
#pragma once
#include <cstdint>
#include <functional>

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
    bool cutShortByStop() const override { return cutShort_; }

protected:
    // True once the scan is stopped; the walk or the pass that asks ends
    // there, and the catalogue is then cut short.
    bool stopped();
    // A live folder (or the next cluster of its chain) outside the volume:
    // told once a scan, since its files cannot be listed.
    void tellOutside();

    DriveReader drive_;
    MessageSink messages_;
    MessageSink toldIncomplete_;
    std::function<bool()> stopRequested_;
    const bool deep_;  // the deeper scan: a pass over what the walk did not read
    std::function<void(uint64_t, uint64_t)> passProgress_;
    bool cutShort_ = false;
    bool toldOutside_ = false;
    // Where the volume lies, set by open: nothing outside it is read.
    VolumeBounds bounds_;
};

}  // namespace undelete
