// Whether a listed file's content is what its name says (carve/ContentCheck.h),
// its content read through the volume like a save's.
#pragma once
#include <cstdint>

#include "carve/ContentCheck.h"
#include "core/ScannedVolume.h"

namespace undelete {

// Unknown at once, reading nothing, when no recogniser knows the name's
// extension.
ContentVerdict checkListedContent(ScannedVolume& volume, uint32_t index, const DeletedFile& file);

}  // namespace undelete
