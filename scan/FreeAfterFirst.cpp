#include "scan/FreeAfterFirst.h"

#include <algorithm>

namespace undelete {

bool FreeAfterFirst::next(Extent& extent) {
    const uint64_t limit = map_.limit();
    if (given_ >= clusters_ || first_ >= limit) return false;
    const uint64_t start = given_ == 0 ? first_ : map_.nextFree(following_);
    if (start >= limit) return false;
    const uint64_t end = std::min(map_.nextUsed(start + 1), limit);
    const uint64_t run = std::min(clusters_ - given_, end - start);
    extent = Extent::stored(start, run);
    given_ += run;
    following_ = start + run;
    return true;
}

}  // namespace undelete
