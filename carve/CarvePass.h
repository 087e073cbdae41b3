// The carving pass: reads a region of a disk once, front to back, in large
// pieces, and looks at the start of every block (a cluster of the volume
// carved, or a sector when no volume is known) for a file's beginning. A
// block whose first bytes match a signature wakes that recogniser, which
// walks the file's structure to its end; the file is reported, and the
// pass goes on at the first block after it. A carved file is one
// contiguous run of bytes from its start: a file whose pieces were spread
// over the disk is found only as far as it lies in one piece, or not at
// all when what follows its first piece breaks its structure.
//
// A file that lies inside one already found (a photo stored in a ZIP, a
// thumbnail in a photo) is part of it and not reported again; when the
// outer file does not hold together, its blocks are looked at in turn and
// the inner one is found by itself.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

#include "carve/ByteSource.h"
#include "carve/Recogniser.h"

namespace undelete {

struct CarvedFile {
    uint64_t offset = 0;  // where it begins, in the reader's offsets
    uint64_t length = 0;
    const char* kind = nullptr;       // "jpeg", "docx", "text" …
    const char* extension = nullptr;  // "jpg", without the dot
    FileMetadata metadata;
};

struct CarveHooks {
    // True when the block at this offset holds a live file's data: it is
    // neither read nor looked at (a file found before it may still run
    // into it). Empty: every block is carved.
    std::function<bool(uint64_t offset)> allocated;
    // True once the pass is to end; it ends within a piece.
    std::function<bool()> stop;
    // Bytes of the region passed (read or skipped) of all, after each piece.
    std::function<void(uint64_t done, uint64_t total)> progress;
    // Each file found, in the order they begin.
    std::function<void(const CarvedFile& file)> found;
};

struct CarveSummary {
    uint64_t files = 0;
    uint64_t unreadableBlocks = 0;  // blocks whose read failed (taken as zeros)
    bool stopped = false;
};

class CarvePass {
public:
    // Bytes read at a time (whole blocks); the pass's memory is this piece,
    // one recogniser's window and the small state of a walk.
    static constexpr size_t kPieceBytes = 8u << 20;

    // Carves the `length` bytes of `disk` from `start`, looking for
    // beginnings at `start` + k × `blockBytes` (blockBytes ≥ 1).
    CarvePass(ByteSource& disk, uint64_t start, uint64_t length, uint32_t blockBytes,
              CarveHooks hooks);

    CarveSummary run();

private:
    class Pieces;
    void lookAt(Pieces& pieces, uint64_t block, CarveSummary& summary);

    ByteSource& disk_;
    const uint64_t start_;
    const uint64_t length_;
    const uint32_t block_;
    CarveHooks hooks_;
    uint64_t skipUntil_ = 0;  // the first offset a new file may begin at
};

}  // namespace undelete
