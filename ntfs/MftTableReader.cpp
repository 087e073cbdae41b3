#include "ntfs/MftTableReader.h"

#include <algorithm>
#include <new>

#include "common/Bytes.h"

namespace undelete {

MftTableReader::MftTableReader(DriveReader& drive, const MftRecordMap& map)
    : drive_(drive), reads_(drive, kMaxFailuresInARow), map_(map) {}

const uint8_t* MftTableReader::read(uint64_t index, Slot slot) {
    MftRecordMap::Place place;
    if (givenUp() || !map_.locate(index, place)) return nullptr;
    // A record that runs on into the next extent is read piece by piece.
    if (place.count != 1) return readSingle(place);
    const uint64_t position = place.pieces[0].position;
    Piece& piece = pieces_[slot == Slot::Scan ? 0 : 1];
    const bool held = position >= piece.position &&
                      fits(position - piece.position, map_.recordSize(), piece.length);
    const bool failedBefore = position >= failedStart_ && position < failedEnd_;
    if (!held && (failedBefore || !load(place.firstExtentEnd, position, piece))) {
        return readSingle(place);
    }
    const uint64_t at = position - piece.position;
    prefetchAhead(piece, at);
    return piece.data + at;
}

// A walk touches one line per record, each on a line of its own that no
// hardware prefetcher guesses across pages; asking a few records ahead
// keeps several of those misses in flight at once.
void MftTableReader::prefetchAhead(const Piece& piece, uint64_t at) const {
#if defined(__GNUC__)
    const uint64_t ahead = static_cast<uint64_t>(kPrefetchRecords) * map_.recordSize();
    if (ahead < piece.length - at) __builtin_prefetch(piece.data + at + ahead);
#else
    (void)piece;
    (void)at;
#endif
}

// The piece starts at the record and ends at the extent's end or a piece's
// length on, whichever comes first; the map has already cut the extent at
// the partition's and the disk's end.
bool MftTableReader::load(uint64_t extentEnd, uint64_t position, Piece& piece) {
    const uint64_t start = position;
    const uint64_t length = std::min<uint64_t>(extentEnd - start, kPieceBytes);
    piece.length = 0;
    piece.view.reset();
    if (length < map_.recordSize()) return false;
    piece.view = drive_.view(start, length);
    if (piece.view) {
        piece.data = piece.view->bytes();
    } else if (!readPiece(start, length, piece)) {
        return false;
    }
    piece.position = start;
    piece.length = length;
    return true;
}

bool MftTableReader::readPiece(uint64_t start, uint64_t length, Piece& piece) {
    // A small table needs no whole piece.
    if (piece.capacity < length) {
        piece.bytes.reset(new (std::nothrow) uint8_t[length]);
        piece.capacity = piece.bytes ? length : 0;
    }
    if (!piece.bytes) return false;
    if (!reads_.tryRead(start, piece.bytes.get(), static_cast<uint32_t>(length))) {
        failedStart_ = start;
        failedEnd_ = start + length;
        return false;
    }
    piece.data = piece.bytes.get();
    return true;
}

// Where a whole piece cannot be read (a bad sector in it), each record is
// read on its own so that the rest of the piece is still found; each
// failure is shown, and a run of them ends the reading of the table.
const uint8_t* MftTableReader::readSingle(const MftRecordMap::Place& place) {
    if (map_.recordSize() > sizeof single_) return nullptr;
    const auto read = [this](uint64_t position, uint8_t* into, uint32_t length) {
        return reads_.read(position, into, length);
    };
    return readPlace(place, read, single_) ? single_ : nullptr;
}

}  // namespace undelete
