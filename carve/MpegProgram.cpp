// MPEG program streams (MPEG-1 system streams, MPEG-2 program streams and
// DVD video objects): pack headers, system headers and packets, each
// length checked, to the end code. A stream whose packets simply stop
// (a video object cut from a longer title) ends after its last packet.
#include "carve/Recognisers.h"

namespace undelete {
namespace {

// Bytes, not a string: no text for the catalogue's extraction tools.
constexpr char kMagic[] = {'\x00', '\x00', '\x01', '\xBA'};
constexpr Signature kSignatures[] = {{0, kMagic, sizeof kMagic}};
constexpr const char* kExtensions[] = {"mpg", "mpeg", "vob", "m2p", "mpe", nullptr};
constexpr uint8_t kPack = 0xBA, kEnd = 0xB9;  // stream ids from 0xBB on are packets with a length

// The pack header's length: MPEG-2 ('01' marker bits) with its stuffing,
// or MPEG-1 ('0010'); 0 when neither.
uint32_t packLength(const uint8_t* p) {
    if ((p[4] & 0xC0) == 0x40) return 14u + (p[13] & 7);
    if ((p[4] & 0xF0) == 0x20) return 12;
    return 0;
}

HeaderCheck header(const uint8_t* bytes, size_t length) {
    if (length < 14 || bytes[0] != 0 || bytes[1] != 0 || bytes[2] != 1 || bytes[3] != kPack) {
        return {};
    }
    if (packLength(bytes) == 0) return {};
    return {"mpeg", "mpg", 0};
}

Recognised walk(Window& file, const HeaderCheck&) {
    Recognised found;
    uint64_t at = 0, packs = 0, packets = 0;
    for (;;) {
        const uint8_t* p = file.at(at, 6);
        if (p == nullptr || p[0] != 0 || p[1] != 0 || p[2] != 1 || p[3] < kEnd) break;
        if (p[3] == kEnd) {
            at += 4;
            found.length = at;
            return found;
        }
        uint64_t length;
        if (p[3] == kPack) {
            const uint8_t* pack = file.at(at, 14);
            length = pack ? packLength(pack) : 0;
            if (length == 0) break;
            ++packs;
        } else {
            length = 6u + be16(p + 4);
            ++packets;
        }
        if (!file.has(at, length)) break;
        at += length;
    }
    if (packs < 2 || packets == 0) return {};
    found.length = at;
    return found;
}

}  // namespace

extern const Recogniser kMpegProgramRecogniser = {
    "MPEG program stream", kSignatures, std::size(kSignatures), kExtensions, header, walk};

}  // namespace undelete
