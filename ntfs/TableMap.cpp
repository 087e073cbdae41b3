#include "ntfs/TableMap.h"

#include <algorithm>
#include <vector>

#include "ntfs/AttributeList.h"
#include "ntfs/StreamExtents.h"

namespace undelete {
namespace {

constexpr uint64_t kTableRecord = 0;

// The list's entries for the table's unnamed $DATA past VCN 0, in VCN order.
std::vector<AttributeListEntry> laterPieces(const MftRecordInfo& table, RecordSource& streams) {
    std::vector<uint8_t> value;
    std::vector<AttributeListEntry> entries;
    if (!readAttributeListValue(table, streams, value)) return entries;
    parseAttributeList(value.data(), value.size(), entries);
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [](const AttributeListEntry& e) {
                                     return e.type != kTypeData || !e.name.empty() ||
                                            e.lowestVcn == 0;
                                 }),
                  entries.end());
    std::stable_sort(entries.begin(), entries.end(),
                     [](const AttributeListEntry& a, const AttributeListEntry& b) {
                         return a.lowestVcn < b.lowestVcn;
                     });
    return entries;
}

// The piece from `vcn` on that `holder` keeps; null when it keeps none.
const DataExtent* pieceAt(const MftRecordInfo& holder, uint64_t vcn) {
    for (const DataExtent& piece : holder.laterExtents) {
        if (piece.lowestVcn == vcn) return &piece;
    }
    return nullptr;
}

}  // namespace

void buildTableMap(const MftRecordInfo& table, RecordSource& streams, const RecordAt& recordAt,
                   MftRecordMap& map) {
    JoinedRuns joined;
    appendPiece(joined, 0, table.runs);
    map.append(joined.runs.data(), joined.runs.size());
    if (!table.attributeList.present) return;
    for (const AttributeListEntry& entry : laterPieces(table, streams)) {
        if (entry.lowestVcn < joined.nextVcn) continue;  // a repeat
        if (entry.lowestVcn != joined.nextVcn) return;   // a gap
        MftRecordInfo extension;
        const MftRecordInfo* holder = &table;
        if (entry.record() != kTableRecord) {
            const uint8_t* raw = recordAt(entry.record());
            if (raw == nullptr || !parseRecord(raw, map.recordSize(), false, extension) ||
                !extensionBelongs(extension, kTableRecord, table, entry.sequence())) {
                return;
            }
            holder = &extension;
        }
        const DataExtent* piece = pieceAt(*holder, joined.nextVcn);
        if (piece == nullptr || piece->runs.empty()) return;
        if (piece->runs.size() > kMaxFileRuns - joined.runs.size()) return;
        const size_t before = joined.runs.size();
        appendPiece(joined, piece->lowestVcn, piece->runs);
        map.append(joined.runs.data() + before, joined.runs.size() - before);
    }
}

}  // namespace undelete
