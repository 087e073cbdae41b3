// The orphan-cluster recogniser on input bytes taken as one cluster, with
// a volume limit from the first bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/Bytes.h"
#include "common/Text.h"
#include "fat/OrphanEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace undelete;
    static const bool locale = initProcessLocale();
    (void)locale;
    if (size < 4 || size > 65536 + 4) return 0;
    const uint32_t limit = le32(data);
    const std::vector<uint8_t> bytes(data + 4, data + size);  // exactly the cluster
    const OrphanCluster found = readOrphanCluster(bytes.data(), bytes.size(), limit, 3);
    if (!found.directory && (!found.files.empty() || !found.subdirectories.empty())) {
        __builtin_trap();
    }
    for (const DeletedEntry& entry : found.files) {
        if (entry.folder != 3 || entry.firstCluster() >= limit) __builtin_trap();
    }
    return 0;
}
