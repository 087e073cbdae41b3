// The batch output's text forms: TSV fields and JSON strings that any
// name read from a disk can go into safely, and the exact values of a
// listed file as a script reads them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "partition/PartitionRecord.h"
#include "scan/DeletedFile.h"
#include "scan/TimeText.h"

namespace undelete {

// A TSV field that is always one line and carries no control byte: tab,
// newline, carriage return and backslash become \t \n \r \\; any other
// control character (C0, DEL, C1) and every byte that is not part of a
// well-formed UTF-8 character becomes \xNN, one per byte.
std::string escapeField(const std::string& text);

// `text` as a quoted JSON string of valid UTF-8: control characters as
// \n, \t, \uNNNN; each byte that is not part of a well-formed UTF-8
// character becomes U+FFFD.
std::string jsonString(const std::string& text);

// ISO 8601 in UTC ("2024-05-01T12:00:00Z"); empty when there is no time or
// the stored one is no date. A FAT time is local time as stored: it is
// moved to UTC by `zone`'s offset in force at that date.
std::string isoUtcTime(const CreationTime& created, const LocalZone& zone);

// "unknown", "intact", "partial", "overwritten".
const char* stateWord(FileState state);
// "table", "orphan", "search", "carved".
const char* originWord(FileOrigin origin);

// One listed file: its row number, catalogue index, exact values and the
// size and time texts of the file list.
struct BatchFile {
    uint64_t row = 0;
    uint64_t index = 0;
    DeletedFile file;
    std::string timeText;
    std::string sizeText;
    // "match", "mismatch" or "unknown" with --check: the last field; null
    // without.
    const char* content = nullptr;
};

extern const char kFileHeader[];       // TSV header of the file rows
extern const char kContentHeader[];    // the field --check adds after them ("\tcontent")
extern const char kPartitionHeader[];  // TSV header of the partition rows

// Lines without their newline.
std::string fileTsv(const BatchFile& file, const LocalZone& zone);
std::string fileJson(const BatchFile& file, const LocalZone& zone);
// `start` and `sectors` count the device's sectors of `sectorBytes`.
std::string partitionTsv(int number, const PartitionRecord& record, uint32_t sectorBytes);

// The listed indices nearest to `index` (at most `count`, in ascending
// order, "a, b"), told when a user asks to save one that is not listed.
std::string nearestIndices(std::vector<uint64_t> listed, uint64_t index, size_t count);
std::string partitionJson(int number, const PartitionRecord& record, uint32_t sectorBytes);

}  // namespace undelete
