// MP3 (MPEG audio): an optional ID3v2 tag, then a run of frames whose
// headers agree on version, layer and sample rate, each as long as its
// bit rate makes it, then an optional ID3v1 tag. The ID3v2 tag gives the
// title.
#include <cstring>

#include "carve/MetadataText.h"
#include "carve/Recognisers.h"

namespace undelete {
namespace {

// Frame syncs of MPEG-1, 2 and 2.5 layer III and of layer II, with and
// without CRC (byte arrays, not strings: no text for the catalogue tools).
constexpr char kSyncs[][2] = {
    {'\xFF', '\xFB'}, {'\xFF', '\xFA'}, {'\xFF', '\xF3'}, {'\xFF', '\xF2'}, {'\xFF', '\xE3'},
    {'\xFF', '\xE2'}, {'\xFF', '\xFD'}, {'\xFF', '\xFC'}, {'\xFF', '\xF5'}, {'\xFF', '\xF4'}};
constexpr Signature kSignatures[] = {
    {0, "ID3", 3},     {0, kSyncs[0], 2}, {0, kSyncs[1], 2}, {0, kSyncs[2], 2},
    {0, kSyncs[3], 2}, {0, kSyncs[4], 2}, {0, kSyncs[5], 2}, {0, kSyncs[6], 2},
    {0, kSyncs[7], 2}, {0, kSyncs[8], 2}, {0, kSyncs[9], 2},
};
constexpr const char* kExtensions[] = {"mp3", "mp2", "mpga", nullptr};
// Frames that must follow one another for a file with no tag: a run this
// long is not met by chance.
constexpr int kUntaggedFrames = 16;
constexpr int kTaggedFrames = 2;

struct Frame {
    uint32_t length = 0;  // 0: no frame header
    uint8_t kind = 0;     // version, layer and sample rate, for comparing frames
};

Frame frameAt(const uint8_t* h) {
    static constexpr uint16_t kRates[3][14] = {
        {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // layer I
        {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // layer II
        {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // layer III
    };
    static constexpr uint16_t kRatesLow[2][14] = {
        {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},  // layer I
        {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},       // layers II, III
    };
    static constexpr uint32_t kSampleRates[3] = {44100, 48000, 32000};
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return {};
    const int version = (h[1] >> 3) & 3;      // 0: 2.5, 2: 2, 3: 1
    const int layer = 4 - ((h[1] >> 1) & 3);  // 1, 2, 3; 4 reserved
    const int bitrate = h[2] >> 4;
    const int rate = (h[2] >> 2) & 3;
    if (version == 1 || layer == 4 || bitrate == 0 || bitrate == 15 || rate == 3 ||
        (h[3] & 3) == 2) {
        return {};
    }
    const uint32_t kbps =
        version == 3 ? kRates[layer - 1][bitrate - 1] : kRatesLow[layer == 1 ? 0 : 1][bitrate - 1];
    const uint32_t sampleRate = kSampleRates[rate] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    const uint32_t pad = (h[2] >> 1) & 1;
    Frame frame;
    if (layer == 1) {
        frame.length = (12 * kbps * 1000 / sampleRate + pad) * 4;
    } else if (layer == 3 && version != 3) {
        frame.length = 72 * kbps * 1000 / sampleRate + pad;
    } else {
        frame.length = 144 * kbps * 1000 / sampleRate + pad;
    }
    frame.kind = static_cast<uint8_t>(version << 4 | layer << 2 | rate);
    return frame;
}

bool id3(const uint8_t* h) {
    return std::memcmp(h, "ID3", 3) == 0 && h[3] >= 2 && h[3] <= 4 && h[4] != 0xFF &&
           (h[6] | h[7] | h[8] | h[9]) < 0x80;
}

uint32_t syncSafe(const uint8_t* p) {
    return uint32_t{p[0]} << 21 | uint32_t{p[1]} << 14 | uint32_t{p[2]} << 7 | p[3];
}

HeaderCheck header(const uint8_t* bytes, size_t length) {
    if (length < 10) return {};
    if (id3(bytes) || frameAt(bytes).length != 0) return {"mp3", "mp3", 0};
    return {};
}

// The title frame of an ID3v2 tag (TIT2; TT2 in version 2.2).
void readTitle(Window& file, const uint8_t* h, FileMetadata& metadata) {
    const int version = h[3];
    if (h[5] & 0x80) return;  // unsynchronised: not read
    const uint32_t size = syncSafe(h + 6);
    const size_t taken = size < 65536 ? size : 65536;
    const uint8_t* tag = file.at(10, taken);  // `h` may not outlive this
    if (tag == nullptr) return;
    const size_t header = version == 2 ? 6 : 10;
    for (size_t at = 0; at + header <= taken;) {
        const uint8_t* f = tag + at;
        if (f[0] == 0) return;
        const uint32_t length = version == 2   ? (uint32_t{f[3]} << 16 | f[4] << 8 | f[5])
                                : version == 4 ? syncSafe(f + 4)
                                               : be32(f + 4);
        if (length > taken - at - header) return;
        const bool title =
            version == 2 ? std::memcmp(f, "TT2", 3) == 0 : std::memcmp(f, "TIT2", 4) == 0;
        if (title && length > 1) {
            static constexpr TextEncoding kEncodings[4] = {
                TextEncoding::Latin1, TextEncoding::Utf16LE, TextEncoding::Utf16BE,
                TextEncoding::Utf8};
            const uint8_t encoding = f[header];
            if (encoding < 4) {
                metadata.title = metadataText(f + header + 1, length - 1, kEncodings[encoding]);
            }
            return;
        }
        at += header + length;
    }
}

Recognised walk(Window& file, const HeaderCheck&) {
    Recognised found;
    uint64_t at = 0;
    const uint8_t* h = file.at(0, 10);
    if (h == nullptr) return {};
    const bool tagged = id3(h);
    if (tagged) {
        at = 10ull + syncSafe(h + 6) + ((h[5] & 0x10) ? 10 : 0);
        readTitle(file, h, found.metadata);
    }
    int frames = 0;
    uint8_t kind = 0;
    for (;;) {
        const uint8_t* p = file.at(at, 4);
        if (p == nullptr) break;
        const Frame frame = frameAt(p);
        if (frame.length == 0 || (frames > 0 && frame.kind != kind) ||
            !file.has(at, frame.length)) {
            break;
        }
        kind = frame.kind;
        at += frame.length;
        ++frames;
    }
    if (frames < (tagged ? kTaggedFrames : kUntaggedFrames)) return {};
    const uint8_t* v1 = file.at(at, 3);
    if (v1 != nullptr && std::memcmp(v1, "TAG", 3) == 0 && file.has(at, 128)) at += 128;
    found.length = at;
    return found;
}

}  // namespace

extern const Recogniser kMp3Recogniser = {"MP3",       kSignatures, std::size(kSignatures),
                                          kExtensions, header,      walk};

}  // namespace undelete
