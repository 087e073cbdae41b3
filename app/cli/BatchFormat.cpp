#include "app/cli/BatchFormat.h"

#include <algorithm>

#include <charconv>
#include <cstdio>

#include "app/Language.h"
#include "common/Text.h"
#include "partition/PartitionRows.h"
#include "scan/TimeText.h"

namespace undelete {

const char kFileHeader[] = "row\tindex\tname\ttime\tsize\tbytes\tcreated\tpath\tstate\torigin\tdeleted";
const char kContentHeader[] = "\tcontent";
const char kPartitionHeader[] =
    "row\tfilesystem\ttype\tstart_cylinder\tstart_head\tstart_sector\tend_cylinder\tend_head\t"
    "end_sector\tcapacity\tactive\tstart\tsectors\tbytes\tsector_size\torigin";

namespace {

bool isControl(char32_t cp) { return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F); }

std::string hexByte(unsigned char b, const char* prefix) {
    char text[8];
    std::snprintf(text, sizeof text, "%s%02X", prefix, b);
    return text;
}

std::string isoFromUnix(int64_t seconds) {
    char text[32];
    formatIsoUtc(seconds, text);
    return text;
}

std::string number(uint64_t value) { return std::to_string(value); }

// The deletion time a recycle bin's record gave; empty when none.
std::string deletedTime(const DeletedFile& file) {
    return file.deletedAt == 0 ? std::string()
                               : isoUtcTime(CreationTime::fileTime(file.deletedAt), LocalZone{});
}

}  // namespace

std::string escapeField(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        char32_t cp = 0;
        const size_t n = decodeUtf8(text, at, cp);
        if (n == 0) {
            out += hexByte(static_cast<unsigned char>(text[at++]), "\\x");
            continue;
        }
        if (cp == '\t') {
            out += "\\t";
        } else if (cp == '\n') {
            out += "\\n";
        } else if (cp == '\r') {
            out += "\\r";
        } else if (cp == '\\') {
            out += "\\\\";
        } else if (isControl(cp)) {
            for (size_t i = 0; i < n; ++i) {
                out += hexByte(static_cast<unsigned char>(text[at + i]), "\\x");
            }
        } else {
            out.append(text, at, n);
        }
        at += n;
    }
    return out;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t at = 0; at < text.size();) {
        char32_t cp = 0;
        const size_t n = decodeUtf8(text, at, cp);
        if (n == 0) {
            out += "\xEF\xBF\xBD";  // U+FFFD
            ++at;
            continue;
        }
        if (cp == '"') {
            out += "\\\"";
        } else if (cp == '\\') {
            out += "\\\\";
        } else if (cp == '\n') {
            out += "\\n";
        } else if (cp == '\t') {
            out += "\\t";
        } else if (cp == '\r') {
            out += "\\r";
        } else if (isControl(cp)) {
            out += hexByte(static_cast<unsigned char>(cp), "\\u00");
        } else {
            out.append(text, at, n);
        }
        at += n;
    }
    return out + "\"";
}

std::string isoUtcTime(const CreationTime& created, const LocalZone& zone) {
    if (created.kind == CreationTime::Kind::FileTime) {
        constexpr uint64_t kTicksPerSecond = 10000000;
        constexpr int64_t kUnixFrom1601 = 11644473600;
        return isoFromUnix(static_cast<int64_t>(created.value / kTicksPerSecond) - kUnixFrom1601);
    }
    if (created.kind != CreationTime::Kind::FatLocal) return "";
    const uint16_t date = created.fatDate();
    const uint16_t time = created.fatTime();
    const unsigned month = (date >> 5) & 15;
    const unsigned day = date & 31;
    const int hour = time >> 11;
    const int minute = (time >> 5) & 63;
    const int second = created.fatSecond();
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) return "";
    const int64_t days = daysFromCivil(1980 + (date >> 9), static_cast<int>(month),
                                       static_cast<int>(day));
    // A day past the month's end (31 April) is no date either.
    if (civilFromDays(days).day != static_cast<int>(day)) return "";
    const int64_t local = days * 86400 + hour * 3600 + minute * 60 + second;
    return isoFromUnix(local - zone.atLocal(local));
}

const char* stateWord(FileState state) {
    switch (state) {
    case FileState::Intact: return "intact";
    case FileState::Partial: return "partial";
    case FileState::Overwritten: return "overwritten";
    case FileState::Encrypted: return "encrypted";
    case FileState::Unknown: break;
    }
    return "unknown";
}

const char* originWord(FileOrigin origin) {
    switch (origin) {
    case FileOrigin::Orphan: return "orphan";
    case FileOrigin::Search: return "search";
    case FileOrigin::Carved: return "carved";
    case FileOrigin::Table: break;
    }
    return "table";
}

namespace {

void appendNumber(std::string& out, uint64_t value) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

// Most fields are printable ASCII without a backslash: taken whole.
void appendEscaped(std::string& out, const std::string& text) {
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b >= 0x7F || b == '\\') {
            out += escapeField(text);
            return;
        }
    }
    out += text;
}

}  // namespace

// Built in one string: a scan prints one line per deleted file.
std::string fileTsv(const BatchFile& f, const LocalZone& zone) {
    std::string line;
    line.reserve(160);
    appendNumber(line, f.row);
    line += '\t';
    appendNumber(line, f.index);
    line += '\t';
    appendEscaped(line, f.file.name);
    line += '\t';
    appendEscaped(line, f.timeText);
    line += '\t';
    appendEscaped(line, f.sizeText);
    line += '\t';
    appendNumber(line, f.file.size);
    line += '\t';
    line += isoUtcTime(f.file.created, zone);
    line += '\t';
    appendEscaped(line, f.file.path);
    line += '\t';
    line += stateWord(f.file.state);
    line += '\t';
    line += originWord(f.file.origin);
    line += '\t';
    line += deletedTime(f.file);
    if (f.content != nullptr) (line += '\t') += f.content;
    return line;
}

std::string fileJson(const BatchFile& f, const LocalZone& zone) {
    const std::string created = isoUtcTime(f.file.created, zone);
    const std::string deleted = deletedTime(f.file);
    return "{\"row\":" + number(f.row) + ",\"index\":" + number(f.index) +
           ",\"name\":" + jsonString(f.file.name) + ",\"size\":" + number(f.file.size) +
           ",\"created\":" + (created.empty() ? "null" : jsonString(created)) +
           ",\"path\":" + (f.file.path.empty() ? "null" : jsonString(f.file.path)) +
           ",\"state\":\"" + stateWord(f.file.state) + "\",\"origin\":\"" +
           originWord(f.file.origin) + "\"" +
           ",\"deleted\":" + (deleted.empty() ? "null" : jsonString(deleted)) +
           (f.content != nullptr ? std::string(",\"content\":\"") + f.content + '"' : "") + '}';
}

namespace {

// The type column in the message language ("数据" of a GPT row is a word).
std::string typeText(const PartitionRecord& r) {
    return tr(partitionTypeText(r).c_str());
}

// The partition's bytes, saturated rather than wrapped.
std::string byteCount(const PartitionRecord& r, uint32_t sectorBytes) {
    const uint64_t bytes = sectorBytes != 0 && r.totalSectors > UINT64_MAX / sectorBytes
                               ? UINT64_MAX
                               : r.totalSectors * sectorBytes;
    return std::to_string(bytes);
}

}  // namespace

std::string partitionTsv(int number, const PartitionRecord& r, uint32_t sectorBytes) {
    return std::to_string(number) + '\t' + partitionFileSystemText(r) + '\t' + typeText(r) +
           '\t' + std::to_string(r.startCylinder) + '\t' +
           std::to_string(r.startHead) + '\t' + std::to_string(r.startSector) + '\t' +
           std::to_string(r.endCylinder) + '\t' + std::to_string(r.endHead) + '\t' +
           std::to_string(r.endSector) + '\t' +
           partitionCapacityText(r.totalSectors, sectorBytes) + '\t' +
           (r.bootIndicator == 0x80 ? "yes" : "no") + '\t' + std::to_string(r.firstSector()) +
           '\t' + std::to_string(r.totalSectors) + '\t' + byteCount(r, sectorBytes) + '\t' +
           std::to_string(sectorBytes) + '\t' + partitionOriginText(r);
}

std::string partitionJson(int number, const PartitionRecord& r, uint32_t sectorBytes) {
    return "{\"row\":" + std::to_string(number) + ",\"filesystem\":\"" +
           partitionFileSystemText(r) + "\",\"type\":" + jsonString(typeText(r)) +
           ",\"active\":" + (r.bootIndicator == 0x80 ? "true" : "false") +
           ",\"start\":" + std::to_string(r.firstSector()) +
           ",\"sectors\":" + std::to_string(r.totalSectors) +
           ",\"bytes\":" + byteCount(r, sectorBytes) +
           ",\"sector_size\":" + std::to_string(sectorBytes) + ",\"origin\":\"" +
           partitionOriginText(r) + "\"}";
}

std::string nearestIndices(std::vector<uint64_t> listed, uint64_t index, size_t count) {
    const auto distance = [index](uint64_t other) { return other > index ? other - index : index - other; };
    count = std::min(count, listed.size());
    std::partial_sort(listed.begin(), listed.begin() + static_cast<std::ptrdiff_t>(count), listed.end(),
                      [&](uint64_t a, uint64_t b) {
                          return distance(a) != distance(b) ? distance(a) < distance(b) : a < b;
                      });
    listed.resize(count);
    std::sort(listed.begin(), listed.end());
    std::string text;
    for (const uint64_t near : listed) text += (text.empty() ? "" : ", ") + std::to_string(near);
    return text;
}

}  // namespace undelete
