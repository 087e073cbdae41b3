// The deep scan's folder finding and linking on input bytes: the first
// byte picks FAT or exFAT, then come clusters of 512 bytes, each after a
// byte that sets how far its number is past the one before (gaps, as used
// clusters leave). What is found is linked into one tree (some clusters
// standing for a live folder) and every folder's path is made: each walk
// must end, and every path must start at the root.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/Text.h"
#include "exfat/ExfatOrphanPass.h"
#include "fat/OrphanPass.h"
#include "scan/FolderPaths.h"

namespace {

using namespace undelete;

constexpr uint32_t kCluster = 512;

template <typename Take>
void feed(const uint8_t* data, size_t size, Take take) {
    uint32_t cluster = 1;
    for (size_t at = 0; at + 1 + kCluster <= size; at += 1 + kCluster) {
        cluster += 1 + data[at] % 4;
        take(cluster, data + at + 1);
    }
}

void linkAndWalk(const FoundFolders& found) {
    FolderList list;
    const uint32_t live = list.add(0, "Live");
    const uint32_t marker = list.add(0, "$Orphan");
    const auto placed = found.place(list, marker, [&](uint32_t cluster, uint32_t& index) {
        if (cluster % 7 != 0) return false;
        index = live;
        return true;
    });
    if (placed.size() != found.size() || list.size() != 3 + found.size()) __builtin_trap();
    FolderPaths paths(list, "/");
    for (const auto& [cluster, index] : placed) {
        const std::string path = paths.pathOf(index);
        if (path.empty() || path[0] != '/' || path.back() != '/') __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool locale = initProcessLocale();
    (void)locale;
    if (size < 1 || size > 64 * (1 + kCluster) + 1) return 0;
    const bool exfat = (data[0] & 1) != 0;
    ++data;
    --size;
    uint32_t last = 1;
    for (size_t at = 0; at + 1 + kCluster <= size; at += 1 + kCluster) last += 1 + data[at] % 4;
    const uint32_t limit = last + 64;  // entries may name clusters a little past the last
    if (exfat) {
        ExfatOrphanCollector collector({limit, kCluster});
        feed(data, size, [&](uint32_t c, const uint8_t* bytes) { collector.take(c, bytes); });
        ExfatOrphanFinds finds;
        collector.finish(finds);
        for (const auto& file : finds.files) {
            if (!finds.folders.has(file.folder)) __builtin_trap();
        }
        linkAndWalk(finds.folders);
    } else {
        OrphanFinds finds;
        FatOrphanCollector collector(kCluster, limit, finds);
        feed(data, size, [&](uint32_t c, const uint8_t* bytes) { collector.take(c, bytes); });
        collector.finish();
        for (const DeletedEntry& file : finds.files) {
            if (!finds.folders.has(file.folder) || file.firstCluster() >= limit) __builtin_trap();
        }
        linkAndWalk(finds.folders);
    }
    return 0;
}
