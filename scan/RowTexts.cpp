#include "scan/RowTexts.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "common/Text.h"

namespace undelete {

void formatSizeText(uint64_t n, char out[20]) {
    constexpr double kPerKilo = 0.0009765625;  // 2^-10
    if (n > 1073741824ULL) {
        std::snprintf(out, 20, "%0.1f GB", static_cast<double>(n >> 20) * kPerKilo);
    } else if (n > 1048576ULL) {
        std::snprintf(out, 20, "%0.1f MB", static_cast<double>(n >> 10) * kPerKilo);
    } else if (n > 1024ULL) {
        std::snprintf(out, 20, "%0.1f KB", static_cast<double>(n) * kPerKilo);
    } else {
        // Most deleted files are small: their text needs no printf.
        char* end = std::to_chars(out, out + 16, static_cast<unsigned>(n)).ptr;
        std::memcpy(end, " B", 3);
    }
}

void formatCreationTimeText(const CreationTime& created, const LocalZone& zone, char out[25]) {
    switch (created.kind) {
    case CreationTime::Kind::FileTime:
        formatFileTimeText(created.value, zone.atUtc(unixSecondsOf(created.value)), out);
        return;
    case CreationTime::Kind::FatLocal:
        formatFatTimeText(created.fatDate(), created.fatTime(), out, created.fatHundredths());
        return;
    case CreationTime::Kind::None:
        break;
    }
    formatTimeText(0, 0, 0, 0, 0, 0, out);
}

void formatNameText(const std::string& name, char out[260]) {
    const size_t n = wholeCharacterPrefix(name, 259);
    std::memcpy(out, name.data(), n);
    std::memset(out + n, 0, 260 - n);
}

void formatResultRow(const DeletedFile& file, const LocalZone& zone, ResultRow& row) {
    formatSizeText(file.size, row.sizeText);
    formatCreationTimeText(file.created, zone, row.timeText);
    formatNameText(file.name, row.nameText);
}

}  // namespace undelete
