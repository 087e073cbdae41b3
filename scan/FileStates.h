// The one rule that says how much of a deleted file's content is still its
// own, the same for every file system: its layout weighed against the
// volume's allocation map (which clusters live files use now).
#pragma once
#include "scan/ClusterMap.h"
#include "scan/DeletedFile.h"
#include "scan/FileLayout.h"

namespace undelete {

// Of a file whose content lies in clusters (an empty file, or one held in
// its own record, is intact before this is asked; a file its file system
// cannot vouch for is unknown). `layout` null: none of its clusters could
// be placed (its first lies outside the volume). The clusters weighed are
// those of its valid data; clusters past the map's limit count as used.
//   Unknown:     the map could not be read, or no layout.
//   Overwritten: its first stored cluster is in use, or more than half of
//                its stored clusters are.
//   Partial:     its extents stop short of its data (Unknown instead where
//                the layout says what lies past them is not known), some
//                stored cluster is in use, or a guessed layout passed over
//                clusters in use.
//   Intact:      otherwise.
// The work is bounded by the map's size, whatever the extents claim.
FileState layoutState(FileLayout* layout, const ClusterMap& map, bool mapKnown);

}  // namespace undelete
