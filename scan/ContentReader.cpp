#include "scan/ContentReader.h"

#include <algorithm>
#include <new>
#include <utility>

#include "scan/Lznt1.h"

namespace undelete {

const char kCompressedDamagedMessage[] = "文件的压缩数据已损坏，无法解压，未保存";
const char kCompressedUnitsZeroedMessage[] = "文件的压缩数据有损坏之处：无法解压的部分已写为零";
const char kEncryptedSavedMessage[] = "该文件已加密：保存的是磁盘上的加密数据，无法直接打开";

namespace {

// The bytes of `extent` that fall before `room` more bytes are done.
uint64_t bytesOf(const Extent& extent, uint64_t room, uint32_t unit) {
    return extent.count > room / unit ? room : extent.count * unit;
}

// `length` rounded up to whole units of `unitBytes`; saturates.
uint64_t wholeUnits(uint64_t length, uint64_t unitBytes) {
    const uint64_t rest = length % unitBytes;
    return rest == 0 || length > UINT64_MAX - unitBytes ? length : length + unitBytes - rest;
}

bool grow(std::vector<uint8_t>& buffer, uint64_t bytes) {
    if (buffer.size() >= bytes) return true;
    try {
        buffer.resize(static_cast<size_t>(bytes));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// No extents at all: a file none of whose clusters is known.
class NoExtents final : public ExtentCursor {
public:
    bool next(Extent&) override { return false; }
    void rewind() override {}
};

ExtentCursor& extentsOf(FileLayout& layout) {
    static NoExtents none;
    if (!layout.extents) return none;
    layout.extents->rewind();
    return *layout.extents;
}

}  // namespace

// The extents cut into slices of at most a given number of clusters, and
// the sparse clusters ahead, for the walk unit by unit.
class ContentReader::Walker {
public:
    explicit Walker(ExtentCursor& extents) : extents_(extents) {}

    bool next(uint64_t most, Extent& slice) {
        if (!enter()) return false;
        const uint64_t n = std::min(most, current_.count - used_);
        slice = {current_.kind, current_.kind == Extent::Kind::Stored ? current_.first + used_ : 0, n};
        used_ += n;
        return true;
    }
    uint64_t sparseAhead() {
        if (!enter()) return 0;
        return current_.kind == Extent::Kind::Sparse ? current_.count - used_ : 0;
    }
    void skip(uint64_t clusters) { used_ += clusters; }

private:
    bool enter() {
        while (!have_ || used_ >= current_.count) {
            if (!extents_.next(current_)) return false;
            have_ = true;
            used_ = 0;
        }
        return true;
    }

    ExtentCursor& extents_;
    Extent current_;
    bool have_ = false;
    uint64_t used_ = 0;  // clusters of the current extent handed out
};

ContentReader::ContentReader(DriveReader& drive, const VolumeBounds& bounds, MessageSink messages)
    : bounds_(bounds),
      messages_(std::move(messages)),
      reads_(drive, kMaxReadFailuresInARow) {}

bool ContentReader::read(FileLayout& layout, ContentSink& sink) {
    damagedUnits_ = 0;
    if (layout.encrypted && messages_) messages_(kEncryptedSavedMessage);
    if (layout.resident) {
        const auto n =
            static_cast<size_t>(std::min<uint64_t>(layout.length, layout.residentBytes.size()));
        return sink.begin(n) && (n == 0 || sink.write(layout.residentBytes.data(), n));
    }
    if (layout.length == 0) return sink.begin(0);
    const uint32_t unit = layout.clusters.bytes;
    if (unit == 0) return false;
    const uint64_t valid = std::min(layout.validLength, layout.length);
    if (!layout.compressed) {
        return inside(layout, layout.length, valid) && sink.begin(layout.length) &&
               plain(layout, sink);
    }
    const uint64_t unitBytes = layout.compressionUnit * unit;
    if (layout.compressionUnit == 0 || unitBytes > kMaxCompressionUnitBytes) {
        if (messages_) messages_(kCompressedDamagedMessage);
        return false;
    }
    // A unit's clusters are read whole, the last one's too.
    if (!inside(layout, wholeUnits(layout.length, unitBytes), valid) ||
        !sink.begin(layout.length)) {
        return false;
    }
    const bool ok = compressed(layout, sink);
    if (ok && damagedUnits_ != 0 && messages_) messages_(kCompressedUnitsZeroedMessage);
    return ok;
}

bool ContentReader::inside(FileLayout& layout, uint64_t needed, uint64_t covered) {
    const uint32_t unit = layout.clusters.bytes;
    ExtentCursor& extents = extentsOf(layout);
    uint64_t done = 0, stored = 0;
    Extent extent;
    while (done < needed && extents.next(extent)) {
        const uint64_t bytes = bytesOf(extent, needed - done, unit);
        if (extent.kind == Extent::Kind::Stored) {
            uint64_t offset = 0;
            if (!layout.clusters.offsetOf(extent.first, offset) || !bounds_.holds(offset, bytes)) {
                return false;
            }
            // Runs that cover the volume again and again would make a file
            // of any length.
            stored += bytes;
            if (stored > bounds_.bytes()) return false;
        }
        done += bytes;
    }
    return !layout.mustCover || done >= covered;
}

bool ContentReader::plain(FileLayout& layout, ContentSink& sink) {
    const uint32_t unit = layout.clusters.bytes;
    const uint64_t length = layout.length;
    const uint64_t valid = std::min(layout.validLength, length);
    ExtentCursor& extents = extentsOf(layout);
    uint64_t done = 0;
    Extent extent;
    while (done < length && extents.next(extent)) {
        const uint64_t bytes = bytesOf(extent, length - done, unit);
        const uint64_t data = done >= valid ? 0 : std::min(bytes, valid - done);
        const uint64_t toRead = extent.kind == Extent::Kind::Stored ? data : 0;
        const uint64_t toLose = extent.kind == Extent::Kind::Missing ? data : 0;
        if (toRead != 0) {
            // The buffer grows with the extents that are read, in whole
            // clusters up to a piece: a small file, or one whose record
            // claims more than its extents hold, does not cost a piece.
            uint64_t offset = 0;
            if (!grow(piece_, streamBufferBytes(toRead, unit)) ||
                !layout.clusters.offsetOf(extent.first, offset) ||
                !reads_.stream(offset, toRead, unit, sink, piece_)) {
                return false;
            }
        }
        if (toLose != 0 && !sink.lost(toLose)) return false;
        if (bytes > toRead + toLose && !sink.skip(bytes - toRead - toLose)) return false;
        done += bytes;
    }
    // What the extents leave uncovered: lost up to the valid length, zeros
    // past it.
    if (done < valid) {
        if (!sink.lost(valid - done)) return false;
        done = valid;
    }
    return done >= length || sink.skip(length - done);
}

bool ContentReader::compressed(FileLayout& layout, ContentSink& sink) {
    const uint64_t unitClusters = layout.compressionUnit;
    const uint64_t unitBytes = unitClusters * layout.clusters.bytes;
    const uint64_t length = layout.length;
    const uint64_t readable = std::min(layout.validLength, length);
    if (!grow(stored_, unitBytes) || !grow(decoded_, unitBytes)) return false;
    Walker walker(extentsOf(layout));
    std::vector<Extent> slices;
    uint64_t done = 0;
    while (done < length) {
        // Sparse runs over whole units are holes, however many units long.
        const uint64_t sparse = walker.sparseAhead();
        if (sparse >= unitClusters) {
            const uint64_t left = length - done;
            const uint64_t units = std::min(sparse / unitClusters, left / unitBytes + 1);
            const uint64_t bytes = std::min(left, units * unitBytes);
            walker.skip(units * unitClusters);
            if (!sink.skip(bytes)) return false;
            done += bytes;
            continue;
        }
        slices.clear();
        Extent slice;
        for (uint64_t need = unitClusters; need > 0 && walker.next(need, slice);) {
            slices.push_back(slice);
            need -= slice.count;
        }
        if (slices.empty()) return sink.lost(length - done);  // the rest cannot be had
        const uint64_t fileBytes = std::min(unitBytes, length - done);
        const uint64_t readableBytes = done >= readable ? 0 : std::min(fileBytes, readable - done);
        if (!unit(slices, layout, fileBytes, readableBytes, sink)) return false;
        done += fileBytes;
    }
    return true;
}

// One unit: stored whole (read as it lies), sparse only (zeros), or
// compressed (decoded). A unit whose clusters cannot be read, or whose
// extents make no unit, is lost; so is one whose data does not decode up
// to the bytes the file needs of it (a damaged unit), which is counted.
bool ContentReader::unit(const std::vector<Extent>& slices, const FileLayout& layout,
                         uint64_t fileBytes, uint64_t readableBytes, ContentSink& sink) {
    const uint64_t unitClusters = layout.compressionUnit;
    const CompressionUnitLayout kept =
        compressionUnitLayout(slices.data(), slices.size(), unitClusters);
    if (kept.kind == CompressionUnitKind::Invalid) return sink.lost(fileBytes);
    if (kept.kind == CompressionUnitKind::Zeros || readableBytes == 0) return sink.skip(fileBytes);
    uint64_t stored = 0;
    if (!readStored(slices, layout.clusters, stored)) return sink.lost(fileBytes);
    const uint8_t* bytes = stored_.data();
    if (kept.kind == CompressionUnitKind::Compressed) {
        const Lznt1Result result =
            decompressLznt1(stored_.data(), static_cast<size_t>(stored), decoded_.data(),
                            static_cast<size_t>(unitClusters * layout.clusters.bytes));
        // A fault past the bytes the file needs of its last unit is no
        // fault of the file's. Otherwise where the damage began cannot be
        // told (a changed literal decodes without a fault): the whole unit
        // is lost, and the units after it are still had.
        if (!result.ok() && result.produced < readableBytes) {
            ++damagedUnits_;
            return sink.lost(readableBytes) &&
                   (fileBytes == readableBytes || sink.skip(fileBytes - readableBytes));
        }
        bytes = decoded_.data();
    }
    return sink.write(bytes, static_cast<size_t>(readableBytes)) &&
           (fileBytes == readableBytes || sink.skip(fileBytes - readableBytes));
}

// The unit's stored clusters, one after another into the unit's buffer;
// false when one lies outside the volume or cannot be read.
bool ContentReader::readStored(const std::vector<Extent>& slices, const ClusterGeometry& clusters,
                               uint64_t& bytes) {
    bytes = 0;
    for (const Extent& s : slices) {
        if (s.kind == Extent::Kind::Sparse) continue;
        const uint64_t n = s.count * clusters.bytes;
        uint64_t offset = 0;
        if (s.kind != Extent::Kind::Stored || !clusters.offsetOf(s.first, offset) ||
            !bounds_.holds(offset, n) ||
            !reads_.read(offset, stored_.data() + bytes, static_cast<uint32_t>(n))) {
            return false;
        }
        bytes += n;
    }
    return true;
}

}  // namespace undelete
