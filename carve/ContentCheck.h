// Whether a listed file's content is what its name says: its extension
// picks the recognisers, which read the content from its first byte as
// far as its extents go.
#pragma once
#include <cstdint>
#include <string>

#include "carve/ByteSource.h"

namespace undelete {

enum class ContentVerdict {
    Match,     // reads as that kind, and holds together as far as it was read
    Mismatch,  // does not (most often: its first cluster was reused)
    Unknown,   // no recogniser for the extension, an empty file, or a read that failed
};

// How much of a file the check reads at most: a structure still holding
// together there is taken as whole.
constexpr uint64_t kContentCheckBytes = 64u << 20;

// `content` is the file's content, exactly its size long; `extension`
// without the dot, in any case. Reads at most `budget` bytes of it.
ContentVerdict checkContent(const std::string& extension, ByteSource& content,
                            uint64_t budget = kContentCheckBytes);

// The extension of a file name (after its last dot), or empty.
std::string nameExtension(const std::string& name);

const char* verdictText(ContentVerdict verdict);  // "match", "mismatch", "unknown"

}  // namespace undelete
