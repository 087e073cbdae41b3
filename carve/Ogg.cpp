// Ogg (Vorbis, Opus, Theora, FLAC or Speex inside): pages, each with its
// CRC checked, from the first stream's first page until every stream begun
// has sent its last page. The comment packet gives the title.
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "carve/Recognisers.h"
#include "carve/VorbisComment.h"

namespace undelete {
namespace {

constexpr Signature kSignatures[] = {{0, "OggS\0\x02", 6}};
constexpr char kTheora[] = {'\x80', 't', 'h', 'e', 'o', 'r', 'a'};  // bytes, not a string
constexpr const char* kExtensions[] = {"ogg", "oga", "ogv", "opus", "spx", nullptr};
constexpr size_t kMaxStreams = 64;
constexpr size_t kPageHeader = 27;

// The CRC Ogg pages carry: polynomial 0x04C11DB7, not reflected, no
// initial or final inversion.
uint32_t oggCrc(const uint8_t* bytes, size_t length, uint32_t crc) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n << 24;
            for (int k = 0; k < 8; ++k) c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
            t[n] = c;
        }
        return t;
    }();
    for (size_t i = 0; i < length; ++i) crc = (crc << 8) ^ table[((crc >> 24) ^ bytes[i]) & 0xFF];
    return crc;
}

HeaderCheck header(const uint8_t* bytes, size_t length) {
    if (length < kPageHeader + 8 || std::memcmp(bytes, "OggS", 4) != 0 || bytes[4] != 0 ||
        bytes[5] != 2 || bytes[26] == 0) {
        return {};
    }
    const uint8_t* packet = bytes + kPageHeader + bytes[26];
    const size_t left = length - std::min<size_t>(length, kPageHeader + bytes[26]);
    auto is = [&](const char* magic, size_t n) {
        return left >= n && std::memcmp(packet, magic, n) == 0;
    };
    if (is("\x01vorbis", 7)) return {"ogg", "ogg", 0};
    if (is("OpusHead", 8)) return {"opus", "opus", 0};
    if (is(kTheora, 7)) return {"ogv", "ogv", 0};
    if (is("\x7F"
           "FLAC",
           5))
        return {"oga", "oga", 0};
    if (is("Speex   ", 8)) return {"spx", "spx", 0};
    return {"ogg", "ogg", 0};
}

struct Page {
    uint64_t length = 0;  // 0: no page here
    uint8_t flags = 0;
    uint32_t serial = 0;
    uint32_t sequence = 0;
};

Page pageAt(Window& file, uint64_t at) {
    const uint8_t* h = file.at(at, kPageHeader);
    if (h == nullptr || std::memcmp(h, "OggS", 4) != 0 || h[4] != 0 || (h[5] & ~7u) != 0) return {};
    Page page;
    page.flags = h[5];
    page.serial = le32(h + 14);
    page.sequence = le32(h + 18);
    const uint32_t stored = le32(h + 22);
    const uint8_t segments = h[26];
    uint8_t head[kPageHeader];
    std::memcpy(head, h, kPageHeader);
    std::memset(head + 22, 0, 4);
    const uint8_t* table = file.at(at + kPageHeader, segments);
    if (table == nullptr) return {};
    uint64_t body = 0;
    for (uint8_t i = 0; i < segments; ++i) body += table[i];
    uint32_t crc = oggCrc(head, kPageHeader, 0);
    const uint64_t length = kPageHeader + segments + body;
    const uint8_t* rest = file.at(at + kPageHeader, static_cast<size_t>(length - kPageHeader));
    if (rest == nullptr) return {};
    crc = oggCrc(rest, static_cast<size_t>(length - kPageHeader), crc);
    if (crc != stored) return {};
    page.length = length;
    return page;
}

// The second page of the first stream begins with its comment packet.
void readComment(Window& file, uint64_t at, FileMetadata& metadata) {
    const uint8_t* h = file.at(at, kPageHeader);
    if (h == nullptr) return;
    const uint8_t segments = h[26];
    const uint8_t* table = file.at(at + kPageHeader, segments);
    if (table == nullptr) return;
    size_t body = 0;
    for (uint8_t i = 0; i < segments; ++i) body += table[i];
    const uint8_t* packet = file.at(at + kPageHeader + segments, body);
    if (packet == nullptr) return;
    if (body > 7 && std::memcmp(packet, "\x03vorbis", 7) == 0) {
        readVorbisComment(packet + 7, body - 7, metadata);
    } else if (body > 8 && std::memcmp(packet, "OpusTags", 8) == 0) {
        readVorbisComment(packet + 8, body - 8, metadata);
    }
}

Recognised walk(Window& file, const HeaderCheck&) {
    Recognised found;
    std::vector<uint32_t> open;  // streams begun and not yet ended
    uint64_t at = 0;
    for (uint64_t pages = 0;; ++pages) {
        const Page page = pageAt(file, at);
        if (page.length == 0) return {};
        const bool known = std::find(open.begin(), open.end(), page.serial) != open.end();
        if (page.flags & 2) {
            if (known || open.size() == kMaxStreams || (pages > 0 && open.empty())) return {};
            open.push_back(page.serial);
        } else if (!known) {
            return {};
        }
        if (pages == 1) readComment(file, at, found.metadata);
        at += page.length;
        if (page.flags & 4) {
            open.erase(std::find(open.begin(), open.end(), page.serial));
            if (open.empty()) {
                found.length = at;
                return found;
            }
        }
    }
}

}  // namespace

extern const Recogniser kOggRecogniser = {"Ogg",       kSignatures, std::size(kSignatures),
                                          kExtensions, header,      walk};

}  // namespace undelete
