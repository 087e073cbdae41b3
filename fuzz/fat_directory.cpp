// The directory decoder on input bytes taken as one directory's clusters:
// entries, long-name runs with their checksums, 8.3 names in code page 936,
// and the test that tells a deleted folder's clusters from file data.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/Text.h"
#include "fat/FatDirectoryEntry.h"
#include "fat/FatDirectoryParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace undelete;
    static const bool locale = initProcessLocale();
    (void)locale;
    std::vector<uint8_t> bytes(data, data + size);  // exactly the input: reads past it show
    std::vector<DeletedEntry> catalogue;
    size_t entered = 0;
    parseDirectory(bytes.data(), bytes.size(), 7, catalogue,
                   [&](const Subdirectory& sub) { entered += sub.name.size(); });
    for (size_t p = 0; p + kDirEntrySize <= bytes.size(); p += kDirEntrySize) {
        (void)looksLikeDirectoryEntry(bytes.data() + p, 1000);
        (void)liveShortEntryName(bytes.data() + p);
    }
    for (const DeletedEntry& entry : catalogue) {
        if (entry.folder != 7) __builtin_trap();
    }
    return 0;
}
