#include "scan/FreeAfterFirst.h"

#include <algorithm>

namespace undelete {

bool FreeAfterFirst::next(Extent& extent) {
    const uint64_t limit = map_.limit();
    if (given_ >= clusters_ || first_ >= limit) return false;
    const uint64_t start = given_ == 0 ? first_ : map_.nextFree(following_);
    if (start >= limit) return false;
    // Looked for no further than the file reaches.
    const uint64_t wanted = clusters_ - given_;
    const uint64_t reach = wanted > limit - start ? limit : start + wanted;
    const uint64_t run = map_.nextUsed(start + 1, reach) - start;
    extent = Extent::stored(start, run);
    given_ += run;
    following_ = start + run;
    return true;
}

}  // namespace undelete
