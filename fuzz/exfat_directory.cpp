// The exFAT entry-set walk on input bytes taken as one directory's
// clusters (the root's own entries kept too), the timestamps of every set
// it yields, and the up-case table expanded from the same bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/Text.h"
#include "exfat/ExfatDirectory.h"

namespace {

// A 64 MiB volume of 4 KiB clusters, as mkfs.exfat makes it.
constexpr uint32_t kClusterLimit = 15872 + 2;
constexpr uint32_t kClusterBytes = 4096;
// FILETIMEs of 1979-12-31 and 2108-01-02: what 1980 to 2107 can give,
// moved by at most 16 hours.
constexpr uint64_t kEarliest = 119599200000000000ULL;
constexpr uint64_t kLatest = 159993792000000000ULL;

void check(const undelete::ExfatEntrySet& set, size_t size, size_t& nextFree) {
    using namespace undelete;
    if (set.offset < nextFree || set.entries < 3 || set.entries > 19 ||
        set.offset + size_t{set.entries} * kExfatEntrySize > size) {
        __builtin_trap();
    }
    nextFree = set.offset + size_t{set.entries} * kExfatEntrySize;
    if (set.nameLength == 0 || set.name.size() > 3 * kExfatMaxNameUnits) __builtin_trap();
    if (set.extentValid && set.dataLength > 0 &&
        (set.firstCluster < 2 || set.firstCluster >= kClusterLimit)) {
        __builtin_trap();
    }
    for (const ExfatTimestamp& t : {set.created, set.modified}) {
        const CreationTime time = exfatCreationTime(t);
        if (time.kind == CreationTime::Kind::FileTime &&
            (time.value < kEarliest || time.value > kLatest)) {
            __builtin_trap();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace undelete;
    static const bool locale = initProcessLocale();
    (void)locale;
    std::vector<uint8_t> bytes(data, data + size);  // exactly the input: reads past it show
    {
        const ExfatWalkBounds bounds{kClusterLimit, kClusterBytes};
        ExfatRootEntries root;
        size_t nextFree = 0;
        size_t seen = 0;
        const ExfatWalkSummary summary = walkExfatDirectory(
            bytes.data(), bytes.size(), bounds,
            [&](const ExfatEntrySet& set) {
                check(set, bytes.size(), nextFree);
                ++seen;
                (void)isWalkableExfatDirectory(set);
            },
            &root);
        if (summary.sets != seen || root.label.size() > 3 * kExfatMaxLabelUnits) __builtin_trap();
    }
    return 0;
}
