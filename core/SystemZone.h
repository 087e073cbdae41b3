// The machine's own time zone, as the C library (Linux) or Windows' time-zone
// calls give it: the offset of each date by the zone's rules, daylight
// saving included.
#pragma once
#include "scan/TimeText.h"

namespace undelete {

LocalZone systemLocalZone();

}  // namespace undelete
