// The reads a scanner makes of its volume, with one budget of failures in
// a row: once that many reads have failed one after another nothing more is
// asked of the disk (a dying disk is not hammered sector by sector, and a
// scan of a disk that is gone ends). Content is streamed into a sink in
// bounded pieces; a piece that cannot be read is read again unit by unit
// (a cluster), so that only the units that still fail are lost.
#pragma once
#include <cstdint>
#include <vector>

#include "disk/DriveReader.h"
#include "scan/ContentSink.h"

namespace undelete {

// The size of a buffer that streams `length` bytes read `unit` bytes at a
// time: whole units up to a content piece (one unit when a unit is
// larger), and no more than the length needs, so that a small file's save
// does not take a whole piece.
size_t streamBufferBytes(uint64_t length, uint32_t unit);

class BudgetedReader {
public:
    // `budget`: failed reads in a row after which nothing more is read.
    BudgetedReader(DriveReader& drive, uint32_t budget) : drive_(drive), budget_(budget) {}

    // One read of `length` bytes at the absolute byte `offset`; its failure
    // is reported by the drive and counted. False without a read once the
    // budget is spent.
    bool read(uint64_t offset, void* into, uint32_t length);

    // A read whose failure is no error yet (a large piece that will be read
    // again in smaller parts): neither reported nor counted.
    bool tryRead(uint64_t offset, void* into, uint32_t length);

    // Streams `length` bytes from the absolute byte `offset` into `sink`,
    // in pieces of at most `buffer.size()` bytes (an empty buffer is given
    // one unit, at most a content piece). A piece that fails is read again
    // `unit` bytes at a time; a unit that fails, and everything once the
    // budget is spent, goes to the sink as lost. False only when the sink
    // refuses.
    bool stream(uint64_t offset, uint64_t length, uint32_t unit, ContentSink& sink,
                std::vector<uint8_t>& buffer);

    bool spent() const { return failuresInARow_ >= budget_; }

private:
    bool streamUnits(uint64_t offset, uint32_t length, uint32_t unit, ContentSink& sink,
                     uint8_t* buffer);

    DriveReader& drive_;
    const uint32_t budget_;
    uint32_t failuresInARow_ = 0;
};

}  // namespace undelete
