// FLAC: the metadata blocks, then audio frames. A frame's end is where its
// subframes end, so each is parsed (without decoding samples) and its
// CRC-16 checked; the stream ends with the frame that completes the sample
// count the stream information states (or, when it states none, with the
// last frame that holds together). The comment block gives the title.
#include <array>
#include <cstring>

#include "carve/Recognisers.h"
#include "carve/VorbisComment.h"

namespace undelete {
namespace {

constexpr Signature kSignatures[] = {{0, "fLaC", 4}};
constexpr const char* kExtensions[] = {"flac", nullptr};
constexpr int kMaxMetadataBlocks = 1024;

HeaderCheck header(const uint8_t* bytes, size_t length) {
    // The first block must be the stream information, 34 bytes long.
    if (length < 42 || std::memcmp(bytes, "fLaC", 4) != 0 || (bytes[4] & 0x7F) != 0 ||
        (uint32_t{bytes[5]} << 16 | bytes[6] << 8 | bytes[7]) != 34) {
        return {};
    }
    return {"flac", "flac", 0};
}

struct StreamInfo {
    uint32_t sampleRate = 0;
    uint32_t bitsPerSample = 0;
    uint32_t channels = 0;
    uint64_t samples = 0;  // 0: not stated
};

// Bits read most significant first, over a window; any read past the end
// fails and stays failed.
class Bits {
public:
    Bits(Window& file, uint64_t at) : file_(file), next_(at) {}

    bool ok() const { return ok_; }
    uint64_t byteOffset() const { return next_ - held_ / 8; }  // valid when byte-aligned

    uint64_t read(int n) {  // n ≤ 56
        if (!fill(n)) return 0;
        const uint64_t v = n == 0 ? 0 : (hold_ >> (held_ - n)) & ((uint64_t{1} << n) - 1);
        held_ -= n;
        return v;
    }
    // Zeros before a one bit (the one is taken); at most `limit`.
    uint32_t unary(uint32_t limit) {
        uint32_t zeros = 0;
        while (ok_) {
            if (!fill(1)) return 0;
            const uint64_t bits =
                hold_ & ((held_ == 64 ? ~uint64_t{0} : (uint64_t{1} << held_) - 1));
            if (bits == 0) {
                zeros += static_cast<uint32_t>(held_);
                held_ = 0;
            } else {
                const int top = 63 - __builtin_clzll(bits);
                zeros += static_cast<uint32_t>(held_ - 1 - top);
                held_ = top;
                return zeros <= limit ? zeros : (ok_ = false, 0);
            }
            if (zeros > limit) ok_ = false;
        }
        return 0;
    }
    void align() { held_ -= held_ % 8; }

private:
    bool fill(int n) {
        while (ok_ && held_ < n) {
            if (cursor_ == end_) {
                size_t length = 0;
                const uint8_t* bytes = file_.run(next_, file_.size(), length);
                if (bytes == nullptr) return ok_ = false;
                cursor_ = bytes;
                end_ = bytes + length;
            }
            hold_ = hold_ << 8 | *cursor_++;
            held_ += 8;
            ++next_;
        }
        return ok_;
    }

    Window& file_;
    uint64_t next_;
    const uint8_t* cursor_ = nullptr;
    const uint8_t* end_ = nullptr;
    uint64_t hold_ = 0;
    int held_ = 0;  // ≤ 56 + 8
    bool ok_ = true;
};

uint8_t crc8(const uint8_t* bytes, size_t length) {
    uint8_t crc = 0;
    for (size_t i = 0; i < length; ++i) {
        crc ^= bytes[i];
        for (int k = 0; k < 8; ++k) {
            crc = static_cast<uint8_t>(crc & 0x80 ? (crc << 1) ^ 0x07 : crc << 1);
        }
    }
    return crc;
}

uint16_t crc16(const uint8_t* bytes, size_t length, uint16_t crc) {
    static const std::array<uint16_t, 256> table = [] {
        std::array<uint16_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n << 8;
            for (int k = 0; k < 8; ++k) c = (c & 0x8000) ? (c << 1) ^ 0x8005 : c << 1;
            t[n] = static_cast<uint16_t>(c);
        }
        return t;
    }();
    for (size_t i = 0; i < length; ++i) {
        crc = static_cast<uint16_t>((crc << 8) ^ table[((crc >> 8) ^ bytes[i]) & 0xFF]);
    }
    return crc;
}

struct FrameHeader {
    uint32_t blockSize = 0;  // 0: no frame header here
    uint32_t bitsPerSample = 0;
    uint32_t channels = 0;
    uint32_t assignment = 0;
    uint64_t number = 0;
    bool variable = false;
    uint32_t length = 0;  // bytes of the header, CRC-8 included
};

FrameHeader frameHeader(Window& file, uint64_t at, const StreamInfo& info) {
    const uint8_t* h = file.at(at, std::min<uint64_t>(16, file.size() - std::min(at, file.size())));
    if (h == nullptr || !file.has(at, 6) || h[0] != 0xFF || (h[1] & 0xFE) != 0xF8) return {};
    FrameHeader f;
    f.variable = h[1] & 1;
    const uint32_t sizeCode = h[2] >> 4, rateCode = h[2] & 15;
    f.assignment = h[3] >> 4;
    const uint32_t depthCode = (h[3] >> 1) & 7;
    if (sizeCode == 0 || rateCode == 15 || f.assignment > 10 || depthCode == 3 || (h[3] & 1)) {
        return {};
    }
    // The coded frame or sample number: one to seven bytes, UTF-8 style.
    size_t at2 = 4;
    const uint8_t lead = h[4];
    int more;
    if (lead < 0x80) {
        more = 0;
    } else if (lead < 0xC0) {
        return {};
    } else if (lead < 0xE0) {
        more = 1;
    } else if (lead < 0xF0) {
        more = 2;
    } else if (lead < 0xF8) {
        more = 3;
    } else if (lead < 0xFC) {
        more = 4;
    } else if (lead < 0xFE) {
        more = 5;
    } else if (lead == 0xFE) {
        more = 6;
    } else {
        return {};
    }
    f.number = more == 0 ? lead : lead & (0x7Fu >> (more + 1));
    size_t needed = 4 + 1 + more +
                    (sizeCode == 6   ? 1
                     : sizeCode == 7 ? 2
                                     : 0) +
                    (rateCode == 12                     ? 1
                     : rateCode == 13 || rateCode == 14 ? 2
                                                        : 0) +
                    1;
    if (!file.has(at, needed) || needed > 16) return {};
    ++at2;
    for (int i = 0; i < more; ++i, ++at2) {
        if ((h[at2] & 0xC0) != 0x80) return {};
        f.number = f.number << 6 | (h[at2] & 0x3F);
    }
    static constexpr uint32_t kDepths[8] = {0, 8, 12, 0, 16, 20, 24, 32};
    if (sizeCode == 1) {
        f.blockSize = 192;
    } else if (sizeCode <= 5) {
        f.blockSize = 576u << (sizeCode - 2);
    } else if (sizeCode == 6) {
        f.blockSize = h[at2++] + 1u;
    } else if (sizeCode == 7) {
        f.blockSize = be16(h + at2) + 1u, at2 += 2;
    } else {
        f.blockSize = 256u << (sizeCode - 8);
    }
    at2 += rateCode == 12 ? 1 : rateCode == 13 || rateCode == 14 ? 2 : 0;
    if (crc8(h, at2) != h[at2]) return {};
    f.bitsPerSample = depthCode == 0 ? info.bitsPerSample : kDepths[depthCode];
    f.channels = f.assignment < 8 ? f.assignment + 1 : 2;
    f.length = static_cast<uint32_t>(at2 + 1);
    if (f.bitsPerSample == 0) return {};
    return f;
}

// The residual of a subframe: Rice-coded partitions.
bool residual(Bits& bits, uint32_t blockSize, uint32_t order) {
    const uint64_t method = bits.read(2);
    if (method > 1) return false;
    const int paramBits = method == 0 ? 4 : 5;
    const uint32_t escape = method == 0 ? 15 : 31;
    const uint32_t partitionOrder = static_cast<uint32_t>(bits.read(4));
    const uint32_t partitions = 1u << partitionOrder;
    if (blockSize % partitions != 0 || (blockSize >> partitionOrder) < order) return false;
    for (uint32_t p = 0; p < partitions && bits.ok(); ++p) {
        const uint32_t samples = (blockSize >> partitionOrder) - (p == 0 ? order : 0);
        const uint32_t param = static_cast<uint32_t>(bits.read(paramBits));
        if (param == escape) {
            const int raw = static_cast<int>(bits.read(5));
            for (uint32_t s = 0; s < samples; ++s) bits.read(raw);
        } else {
            for (uint32_t s = 0; s < samples && bits.ok(); ++s) {
                bits.unary(1u << 20);
                bits.read(static_cast<int>(param));
            }
        }
    }
    return bits.ok();
}

bool subframe(Bits& bits, uint32_t blockSize, uint32_t depth) {
    if (bits.read(1) != 0) return false;
    const uint32_t type = static_cast<uint32_t>(bits.read(6));
    if (bits.read(1)) {
        const uint32_t wasted = bits.unary(depth) + 1;
        if (wasted >= depth) return false;
        depth -= wasted;
    }
    if (type == 0) {
        bits.read(static_cast<int>(depth));
    } else if (type == 1) {
        for (uint32_t s = 0; s < blockSize && bits.ok(); ++s) bits.read(static_cast<int>(depth));
    } else if (type >= 8 && type <= 12) {
        const uint32_t order = type - 8;
        for (uint32_t i = 0; i < order; ++i) bits.read(static_cast<int>(depth));
        return residual(bits, blockSize, order);
    } else if (type >= 32) {
        const uint32_t order = type - 31;
        for (uint32_t i = 0; i < order; ++i) bits.read(static_cast<int>(depth));
        const uint32_t precision = static_cast<uint32_t>(bits.read(4)) + 1;
        if (precision == 16) return false;
        bits.read(5);
        for (uint32_t i = 0; i < order; ++i) bits.read(static_cast<int>(precision));
        return residual(bits, blockSize, order);
    } else {
        return false;
    }
    return bits.ok();
}

// The frame's length in bytes when it holds together; 0 otherwise.
uint64_t frameLength(Window& file, uint64_t at, const FrameHeader& f) {
    Bits bits(file, at + f.length);
    for (uint32_t c = 0; c < f.channels; ++c) {
        // The side channel of a stereo pair takes one bit more.
        const bool side = (f.assignment == 8 && c == 1) || (f.assignment == 9 && c == 0) ||
                          (f.assignment == 10 && c == 1);
        if (f.bitsPerSample + side > 33 || !subframe(bits, f.blockSize, f.bitsPerSample + side)) {
            return 0;
        }
    }
    bits.align();
    const uint64_t crcAt = bits.byteOffset();
    uint16_t crc = 0;
    size_t n = 0;
    for (uint64_t p = at; const uint8_t* bytes = file.run(p, crcAt, n); p += n) {
        crc = crc16(bytes, n, crc);
    }
    uint16_t stored;
    if (!file.be16(crcAt, stored) || stored != crc) return 0;
    return crcAt + 2 - at;
}

Recognised walk(Window& file, const HeaderCheck&) {
    Recognised found;
    StreamInfo info;
    uint64_t at = 4;
    for (int n = 0;; ++n) {
        const uint8_t* block = file.at(at, 4);
        if (block == nullptr || n == kMaxMetadataBlocks) return {};
        const uint8_t type = block[0] & 0x7F;
        const bool last = block[0] & 0x80;
        const uint32_t length = uint32_t{block[1]} << 16 | block[2] << 8 | block[3];
        if (type == 127 || (n == 0) != (type == 0) || !file.has(at + 4, length)) return {};
        if (type == 0) {
            const uint8_t* s = file.at(at + 4, 34);
            if (s == nullptr) return {};
            info.sampleRate = uint32_t{s[10]} << 12 | s[11] << 4 | s[12] >> 4;
            info.channels = ((s[12] >> 1) & 7) + 1;
            info.bitsPerSample = ((s[12] & 1) << 4 | s[13] >> 4) + 1;
            info.samples = uint64_t{s[13] & 15u} << 32 | be32(s + 14);
        } else if (type == 4 && length <= Window::kBytes) {
            if (const uint8_t* comment = file.at(at + 4, length)) {
                readVorbisComment(comment, length, found.metadata);
            }
        }
        at += 4ull + length;
        if (last) break;
    }
    uint64_t samples = 0, frames = 0;
    for (;;) {
        const FrameHeader f = frameHeader(file, at, info);
        if (f.blockSize == 0) break;
        const uint64_t expected = f.variable ? samples : frames;
        if (f.number != expected) break;
        const uint64_t length = frameLength(file, at, f);
        if (length == 0) break;
        at += length;
        samples += f.blockSize;
        ++frames;
        if (info.samples != 0 && samples >= info.samples) break;
    }
    if (frames == 0 || (info.samples != 0 && samples != info.samples)) return {};
    found.length = at;
    return found;
}

}  // namespace

extern const Recogniser kFlacRecogniser = {"FLAC",      kSignatures, std::size(kSignatures),
                                           kExtensions, header,      walk};

}  // namespace undelete
