#include "common/SizeText.h"

#include <cstdio>

namespace undelete {

std::string binarySizeText(uint64_t count, uint32_t unitBytes) {
    static const char* const kUnits[] = {"KiB", "MiB", "GiB"};
    const long double bytes = static_cast<long double>(count) * unitBytes;
    char text[48];
    if (bytes < 1024) {
        std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(bytes));
        return text;
    }
    long double value = bytes / 1024;
    size_t unit = 0;
    // Up a unit before the one decimal would round to 1024.0.
    for (; value >= 1023.95L && unit + 1 < sizeof kUnits / sizeof kUnits[0]; ++unit) value /= 1024;
    std::snprintf(text, sizeof text, "%.1Lf %s", value, kUnits[unit]);
    return text;
}

}  // namespace undelete
