// Matroska and WebM: the EBML header, then one Segment whose size tells
// where the file ends; its top-level elements must fill it exactly. A
// segment of unknown size (a live recording) ends where its elements stop
// being top-level ones. The segment information gives the title and date.
#include <cstring>

#include "carve/MetadataText.h"
#include "carve/Recognisers.h"

namespace undelete {
namespace {

// Bytes, not a string: no text for the catalogue's extraction tools.
constexpr char kMagic[] = {'\x1A', 'E', '\xDF', '\xA3'};
constexpr Signature kSignatures[] = {{0, kMagic, sizeof kMagic}};
constexpr const char* kExtensions[] = {"mkv", "mka", "mks", "mk3d", "webm", nullptr};
constexpr uint64_t kUnknown = ~uint64_t{0};
constexpr int kMaxElements = 1 << 22;

enum : uint32_t {
    kEbml = 0x1A45DFA3,
    kDocType = 0x4282,
    kSegment = 0x18538067,
    kInfo = 0x1549A966,
    kCluster = 0x1F43B675,
    kTitle = 0x7BA9,
    kDateUtc = 0x4461,
};

constexpr uint32_t kTopLevel[] = {0x114D9B74, 0x1549A966, 0x1654AE6B, 0x1F43B675, 0x1C53BB6B,
                                  0x1941A469, 0x1043A770, 0x1254C367, 0xEC,       0xBF};
constexpr uint32_t kClusterChildren[] = {0xE7, 0x5854, 0xA7, 0xAB, 0xA3, 0xA0, 0xAF, 0xEC, 0xBF};

template <size_t N>
bool among(uint32_t id, const uint32_t (&ids)[N]) {
    for (uint32_t known : ids) {
        if (id == known) return true;
    }
    return false;
}

struct Element {
    uint32_t id = 0;      // 0: no element here
    uint64_t size = 0;    // kUnknown when the element does not say
    uint32_t header = 0;  // bytes of id and size
};

// A variable-length integer: its length from the leading zeros of the
// first byte; ids keep their marker bit, sizes lose it.
Element elementAt(const uint8_t* p, size_t available) {
    Element e;
    if (available < 2 || p[0] == 0) return {};
    const int idLength = __builtin_clz(p[0]) - 23;
    if (idLength > 4 || static_cast<size_t>(idLength) >= available) return {};
    for (int i = 0; i < idLength; ++i) e.id = e.id << 8 | p[i];
    const uint8_t first = p[idLength];
    if (first == 0) return {};
    const int sizeLength = __builtin_clz(first) - 23;
    if (static_cast<size_t>(idLength + sizeLength) > available) return {};
    uint64_t size = first & (0xFFu >> sizeLength);
    bool allOnes = size == (0xFFu >> sizeLength);
    for (int i = 1; i < sizeLength; ++i) {
        size = size << 8 | p[idLength + i];
        allOnes = allOnes && p[idLength + i] == 0xFF;
    }
    e.size = allOnes ? kUnknown : size;
    e.header = static_cast<uint32_t>(idLength + sizeLength);
    return e;
}

Element elementAt(Window& file, uint64_t at) {
    const size_t available =
        static_cast<size_t>(std::min<uint64_t>(12, file.size() - std::min(at, file.size())));
    const uint8_t* p = file.at(at, available);
    return p ? elementAt(p, available) : Element{};
}

HeaderCheck header(const uint8_t* bytes, size_t length) {
    const Element ebml = elementAt(bytes, length);
    if (ebml.id != kEbml || ebml.size == kUnknown || ebml.size > length - ebml.header) return {};
    for (uint64_t at = ebml.header; at < ebml.header + ebml.size;) {
        const Element child = elementAt(bytes + at, static_cast<size_t>(length - at));
        if (child.id == 0 || child.size == kUnknown || child.size > length - at - child.header) {
            return {};
        }
        if (child.id == kDocType) {
            const char* type = reinterpret_cast<const char*>(bytes + at + child.header);
            if (child.size == 4 && std::memcmp(type, "webm", 4) == 0) return {"webm", "webm", 0};
            if (child.size >= 8 && std::memcmp(type, "matroska", 8) == 0) return {"mkv", "mkv", 0};
            return {};
        }
        at += child.header + child.size;
    }
    return {};
}

void readInfo(Window& file, uint64_t at, uint64_t size, FileMetadata& metadata) {
    if (size > 65536) return;
    const uint8_t* info = file.at(at, static_cast<size_t>(size));
    if (info == nullptr) return;
    for (size_t p = 0; p < size;) {
        const Element e = elementAt(info + p, static_cast<size_t>(size - p));
        if (e.id == 0 || e.size == kUnknown || e.size > size - p - e.header) return;
        const uint8_t* value = info + p + e.header;
        if (e.id == kTitle) {
            metadata.title = metadataText(value, static_cast<size_t>(e.size), TextEncoding::Utf8);
        } else if (e.id == kDateUtc && e.size == 8) {
            constexpr int64_t k2001 = 978307200;  // nanoseconds count from 2001-01-01 UTC
            metadata.created =
                isoTimeFromUnix(static_cast<int64_t>(be64(value)) / 1000000000 + k2001);
        }
        p += e.header + static_cast<size_t>(e.size);
    }
}

// Past the children of a cluster of unknown size: to the first element
// that cannot be in a cluster.
uint64_t afterOpenCluster(Window& file, uint64_t at) {
    for (int n = 0; n < kMaxElements; ++n) {
        const Element e = elementAt(file, at);
        if (e.id == 0 || !among(e.id, kClusterChildren)) return at;
        if (e.size == kUnknown || !file.has(at, e.header + e.size)) return Window::kNowhere;
        at += e.header + e.size;
    }
    return Window::kNowhere;
}

Recognised walk(Window& file, const HeaderCheck&) {
    Recognised found;
    const Element ebml = elementAt(file, 0);
    if (ebml.id != kEbml || ebml.size == kUnknown || !file.has(0, ebml.header + ebml.size)) {
        return {};
    }
    const uint64_t segmentAt = ebml.header + ebml.size;
    const Element segment = elementAt(file, segmentAt);
    if (segment.id != kSegment) return {};
    const bool sized = segment.size != kUnknown;
    const uint64_t begin = segmentAt + segment.header;
    if (sized && !file.has(begin, segment.size)) return {};
    const uint64_t end = sized ? begin + segment.size : file.size();
    uint64_t at = begin;
    for (int n = 0; at < end; ++n) {
        const Element e = elementAt(file, at);
        if (n == kMaxElements || e.id == 0 || !among(e.id, kTopLevel)) {
            if (sized) return {};
            break;  // an unsized segment ends where its elements stop
        }
        if (e.size == kUnknown) {
            if (e.id != kCluster) return {};
            at = afterOpenCluster(file, at + e.header);
            if (at == Window::kNowhere) return {};
            continue;
        }
        if (!file.has(at, e.header + e.size) || at + e.header + e.size > end) return {};
        if (e.id == kInfo) readInfo(file, at + e.header, e.size, found.metadata);
        at += e.header + e.size;
    }
    if (at == begin) return {};
    found.length = at;
    return found;
}

}  // namespace

extern const Recogniser kMatroskaRecogniser = {"Matroska",  kSignatures, std::size(kSignatures),
                                               kExtensions, header,      walk};

}  // namespace undelete
