// What every file-format recogniser offers: the signatures that let the
// carving pass test a block cheaply, a header check that names the kind
// from a file's first bytes, and a walk over the file's structure that
// finds where it ends. Recognisers are pure functions over bytes; they
// read through a Window and trust no length they have not checked against
// the bytes there are.
#pragma once
#include <cstddef>
#include <cstdint>
#include <iterator>  // std::size, for the families' signature tables
#include <string>

#include "carve/Window.h"

namespace undelete {

// What a format keeps about itself, where it keeps it; empty when not.
struct FileMetadata {
    std::string title;    // a document's or a song's title, an archive's original name
    std::string created;  // ISO 8601 ("2024-05-01T12:00:00", a zone only when the file tells one)
    std::string camera;   // the camera's make and model (Exif)
    bool empty() const { return title.empty() && created.empty() && camera.empty(); }
};

// The header check's answer.
struct HeaderCheck {
    const char* kind = nullptr;       // null: the bytes are not of this family
    const char* extension = nullptr;  // without the dot
    uint64_t size = 0;                // the length the header states; 0 when it states none
    explicit operator bool() const { return kind != nullptr; }
};

// The walk's answer: where the file ends, counted from its first byte.
struct Recognised {
    uint64_t length = 0;         // 0: the structure does not hold together in the bytes there are
    const char* kind = nullptr;  // the header's, or one the walk learnt (a ZIP's entries)
    const char* extension = nullptr;
    FileMetadata metadata;
    explicit operator bool() const { return length != 0; }
};

// Bytes a file of the family holds at `offset` from its start. A signature
// of no bytes matches every block: its header check must be cheap.
struct Signature {
    uint16_t offset;
    const char* bytes;
    uint8_t length;
};

// The first bytes a header check is given (fewer only where the source ends).
constexpr size_t kHeaderBytes = 512;

struct Recogniser {
    const char* family;
    const Signature* signatures;
    size_t signatureCount;
    // The name extensions (lower case, no dot) of the kinds the family
    // knows, for the content check; ends with a null.
    const char* const* extensions;
    HeaderCheck (*header)(const uint8_t* bytes, size_t length);
    // Walks from the file's first byte; `header` is what header() said.
    Recognised (*walk)(Window& file, const HeaderCheck& header);
};

// The header check and the walk over `source` from its first byte: the
// kind and length of the file that begins there, or a zero length.
Recognised recognise(const Recogniser& recogniser, ByteSource& source);

}  // namespace undelete
