#include "fat/FatTable.h"

#include <algorithm>

#include "common/Bytes.h"

namespace undelete {
namespace {

// Only the entries of real clusters; never more than one table holds.
TableLocation tableOf(const FatLocation& where) {
    TableLocation table;
    table.offset = where.firstOffset;
    table.bytes = std::min(fatTableBytes(where.type, where.clusterLimit), where.bytesPerFat);
    table.stride = where.bytesPerFat;
    table.copies = where.numberOfFats;
    table.entryBits = where.type == FatType::Fat12 ? 12 : where.type == FatType::Fat16 ? 16 : 32;
    return table;
}

constexpr size_t kKeptPieces = 8;

}  // namespace

FatTable::FatTable(DriveReader& drive, const FatLocation& where)
    : where_(where), pieces_(drive, tableOf(where), kKeptPieces) {}

bool FatTable::entry(uint32_t cluster, uint32_t& value) {
    if (cluster >= where_.clusterLimit || !pieces_.entry(cluster, value)) return false;
    if (where_.type == FatType::Fat32) value &= 0x0FFFFFFFu;  // the top four bits are reserved
    return true;
}

FatLink FatTable::link(uint32_t cluster, uint32_t& next) {
    if (!entry(cluster, next)) return FatLink::Reserved;
    return fatLinkOf(where_.type, next, where_.clusterLimit);
}

void FatTable::markUsed(const TablePieces::Piece& p) {
    const uint8_t* bytes = p.bytes.data();
    const size_t size = p.bytes.size();
    const uint64_t base = uint64_t{p.index} * TablePieces::kPieceBytes;
    switch (where_.type) {
    case FatType::Fat32:
        for (size_t at = 0; fits(at, 4, size); at += 4) {
            if ((le32(bytes + at) & 0x0FFFFFFFu) != 0) used_.setUsed((base + at) / 4);
        }
        break;
    case FatType::Fat16:
        for (size_t at = 0; fits(at, 2, size); at += 2) {
            if (le16(bytes + at) != 0) used_.setUsed((base + at) / 2);
        }
        break;
    case FatType::Fat12:
        // Two entries in every three bytes from the piece's start.
        for (auto c = static_cast<uint32_t>(base * 2 / 3); c < where_.clusterLimit; ++c) {
            uint32_t value = 0;
            if (!fatEntryValue(FatType::Fat12, bytes, size, base, c, value)) break;
            if (value != 0) used_.setUsed(c);
        }
        break;
    }
}

bool FatTable::load() {
    if (!used_.reset(where_.clusterLimit)) return false;
    bool whole = std::min(fatTableBytes(where_.type, where_.clusterLimit), where_.bytesPerFat) >=
                 fatTableBytes(where_.type, where_.clusterLimit);
    for (uint32_t index = 0; index < pieces_.count(); ++index) {
        const TablePieces::Piece& p = pieces_.piece(index);
        if (!p.readable) {
            whole = false;
            continue;
        }
        markUsed(p);
    }
    used_.finish();
    return whole;
}

}  // namespace undelete
