// A file allocation table (FAT12, FAT16, FAT32, exFAT) read from the disk in
// pieces of 1 MiB as they are asked for, the last few kept: a chain is
// followed, or the whole table marked, without holding a table of any
// size, and without a read for every entry. A piece the first table cannot
// give is asked of its copy.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "disk/DriveReader.h"
#include "scan/BudgetedReader.h"

namespace undelete {

struct TableLocation {
    uint64_t offset = 0;  // absolute byte offset of the first table
    uint64_t bytes = 0;   // bytes of it that describe the volume's clusters
    uint64_t stride = 0;  // from one copy to the next
    uint8_t copies = 1;   // tables asked, the first one first (at most 2)
    uint8_t entryBits = 32;  // 12, 16 or 32
};

class TablePieces {
public:
    static constexpr uint32_t kPieceBytes = 1u << 20;
    // Consecutive pieces that could not be read after which the table is
    // not read any more.
    static constexpr uint32_t kMaxConsecutiveFailures = 4;

    struct Piece {
        uint32_t index = 0;
        bool readable = false;
        std::vector<uint8_t> bytes;  // the piece's part of the table
    };

    // Keeps the `kept` pieces used last.
    TablePieces(DriveReader& drive, const TableLocation& where, size_t kept);

    uint32_t count() const;
    // The entry of cluster `index` as the table holds it (all its bits);
    // false when its piece could not be read or it lies past the table.
    bool entry(uint64_t index, uint32_t& value);
    // Piece `index`: its bytes start at byte index × kPieceBytes of the
    // table. Unreadable (no bytes) when no copy could give it, or past the
    // table's end.
    const Piece& piece(uint32_t index);

private:
    bool read(uint32_t index, std::vector<uint8_t>& bytes);

    BudgetedReader reads_;
    TableLocation where_;
    size_t kept_;
    std::vector<Piece> cache_;  // most recently used last
};

}  // namespace undelete
