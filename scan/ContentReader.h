// The one reader of a file's content, for every file system: it turns a
// layout (FileLayout.h) into a sink's pieces. Stored extents are read in
// bounded pieces against one budget of failed reads (a piece that fails is
// read again cluster by cluster, a cluster that fails is lost), sparse
// extents become holes, bytes past the valid-data length zeros, missing
// extents and what the extents leave uncovered lost; compressed units are
// decoded one at a time. Extents that lie, even partly, outside the volume
// are refused before anything reaches the sink. Memory never grows with
// the file.
#pragma once
#include <cstdint>
#include <vector>

#include "common/Message.h"
#include "disk/DriveReader.h"
#include "scan/BudgetedReader.h"
#include "scan/ContentSink.h"
#include "scan/FileLayout.h"
#include "scan/VolumeBounds.h"

namespace undelete {

// Told by a read: compressed data whose units cannot be decoded at all (the
// read fails), damaged units read as zeros (counted as lost), and a file
// read as the encrypted bytes it holds.
extern const char kCompressedDamagedMessage[];
extern const char kCompressedUnitsZeroedMessage[];
extern const char kEncryptedSavedMessage[];

class ContentReader {
public:
    // Failed reads in a row after which nothing more is asked of the disk.
    static constexpr uint32_t kMaxReadFailuresInARow = 16;

    // `messages` may be empty (nothing is told).
    ContentReader(DriveReader& drive, const VolumeBounds& bounds, MessageSink messages = {});

    // Streams the content of `layout` into `sink`: begin with its length,
    // then pieces adding up to it. True when the whole length reached the
    // sink; false when the layout is refused (before anything reaches the
    // sink) or the sink refuses.
    bool read(FileLayout& layout, ContentSink& sink);

private:
    class Walker;

    // True when every stored extent the first `needed` bytes use lies
    // inside the volume, they add up to no more than it holds, and (when
    // the layout must cover) they reach `covered` bytes.
    bool inside(FileLayout& layout, uint64_t needed, uint64_t covered);
    bool plain(FileLayout& layout, ContentSink& sink);
    bool compressed(FileLayout& layout, ContentSink& sink);
    bool unit(const std::vector<Extent>& slices, const FileLayout& layout, uint64_t fileBytes,
              uint64_t readableBytes, ContentSink& sink);
    bool readStored(const std::vector<Extent>& slices, const ClusterGeometry& clusters,
                    uint64_t& bytes);

    VolumeBounds bounds_;
    MessageSink messages_;
    BudgetedReader reads_;
    std::vector<uint8_t> piece_;
    std::vector<uint8_t> stored_;
    std::vector<uint8_t> decoded_;
    uint64_t damagedUnits_ = 0;
};

}  // namespace undelete
