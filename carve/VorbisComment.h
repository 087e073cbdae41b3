// The comment block of Vorbis, Opus and FLAC streams (a vendor string, then
// "NAME=value" texts, every length little-endian): its TITLE and DATE.
#pragma once
#include <cstddef>
#include <cstdint>

#include "carve/Recogniser.h"

namespace undelete {

void readVorbisComment(const uint8_t* bytes, size_t length, FileMetadata& metadata);

}  // namespace undelete
