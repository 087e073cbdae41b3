#include "carve/Inflate.h"

#include <array>
#include <vector>

#include "common/Crc32.h"

namespace undelete {
namespace {

constexpr int kMaxBits = 15;
constexpr int kFastBits = 9;

// A canonical Huffman code: a table for codes of up to kFastBits, and the
// counts and sorted symbols for decoding longer ones bit by bit.
struct Huffman {
    std::array<uint16_t, 1 << kFastBits> fast{};  // symbol << 4 | length; 0: slow path
    std::array<uint16_t, kMaxBits + 1> count{};
    std::array<uint16_t, 288> symbol{};

    // False for an over-subscribed set of lengths; an incomplete one is
    // kept (its unused codes fail when met).
    bool build(const uint8_t* lengths, int n) {
        count.fill(0);
        fast.fill(0);
        for (int s = 0; s < n; ++s) ++count[lengths[s]];
        count[0] = 0;
        int left = 1;
        for (int len = 1; len <= kMaxBits; ++len) {
            left = left * 2 - count[len];
            if (left < 0) return false;
        }
        std::array<uint16_t, kMaxBits + 2> offsets{};
        for (int len = 1; len <= kMaxBits; ++len) offsets[len + 1] = offsets[len] + count[len];
        for (int s = 0; s < n; ++s) {
            if (lengths[s]) symbol[offsets[lengths[s]]++] = static_cast<uint16_t>(s);
        }
        // Fast entries: each code's bits reversed (deflate sends them first
        // bit first), repeated over the bits it does not use.
        uint32_t code = 0;
        int index = 0;
        for (int len = 1; len <= kFastBits; ++len) {
            for (int k = 0; k < count[len]; ++k, ++code, ++index) {
                uint32_t reversed = 0;
                for (int b = 0; b < len; ++b) reversed |= ((code >> b) & 1u) << (len - 1 - b);
                for (uint32_t fill = reversed; fill < fast.size(); fill += 1u << len) {
                    fast[fill] = static_cast<uint16_t>(symbol[index] << 4 | len);
                }
            }
            code <<= 1;
        }
        return true;
    }
};

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistanceBase[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

class Inflater {
public:
    Inflater(Window& in, uint64_t offset, uint64_t maxOutput, const InflateOutput& output)
        : in_(in), next_(offset), maxOutput_(maxOutput), output_(output), ring_(kRing) {}

    InflateResult run() {
        InflateResult result;
        bool last = false;
        while (!last) {
            uint32_t header;
            if (!bits(3, header)) return result;
            last = header & 1;
            const uint32_t type = header >> 1;
            bool ok = false;
            if (type == 0) {
                ok = stored();
            } else if (type == 1) {
                ok = fixed();
            } else if (type == 2) {
                ok = dynamic();
            }
            if (!ok) return result;
        }
        if (!flush()) return result;
        result.ok = true;
        result.end = next_ - held_ / 8;  // whole bytes fetched but not used
        result.produced = produced_;
        result.crc = crc_;
        return result;
    }

private:
    static constexpr size_t kRing = 32768;

    // Keeps at least `n` (≤ 57) bits in hand when the stream has them.
    bool need(int n) {
        while (held_ < n) {
            if (cursor_ == end_) {
                size_t length = 0;
                const uint8_t* bytes = in_.run(next_, in_.size(), length);
                if (bytes == nullptr) return false;
                cursor_ = bytes;
                end_ = bytes + length;
            }
            hold_ |= uint64_t{*cursor_++} << held_;
            held_ += 8;
            ++next_;
        }
        return true;
    }
    bool bits(int n, uint32_t& value) {
        if (!need(n)) return false;
        value = static_cast<uint32_t>(hold_ & ((uint64_t{1} << n) - 1));
        hold_ >>= n;
        held_ -= n;
        return true;
    }

    bool decode(const Huffman& h, int& symbol) {
        if (need(kFastBits) || held_ > 0) {
            const uint16_t entry = h.fast[hold_ & ((1u << kFastBits) - 1)];
            const int len = entry & 15;
            if (entry != 0 && len <= held_) {
                hold_ >>= len;
                held_ -= len;
                symbol = entry >> 4;
                return true;
            }
        }
        int code = 0, first = 0, index = 0;
        for (int len = 1; len <= kMaxBits; ++len) {
            uint32_t bit;
            if (!bits(1, bit)) return false;
            code |= static_cast<int>(bit);
            const int count = h.count[len];
            if (code - count < first) {
                symbol = h.symbol[index + (code - first)];
                return true;
            }
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        return false;
    }

    bool put(uint8_t byte) {
        if (produced_ - flushed_ == kRing && !flush()) return false;
        ring_[produced_ % kRing] = byte;
        ++produced_;
        return produced_ <= maxOutput_;
    }
    bool flush() {
        while (flushed_ < produced_) {
            const size_t at = static_cast<size_t>(flushed_ % kRing);
            const size_t n =
                static_cast<size_t>(std::min<uint64_t>(produced_ - flushed_, kRing - at));
            crc_ = crc32(ring_.data() + at, n, crc_);
            if (output_ && !output_(ring_.data() + at, n)) return false;
            flushed_ += n;
        }
        return true;
    }

    bool stored() {
        hold_ >>= held_ % 8;
        held_ -= held_ % 8;
        uint32_t length, inverse;
        if (!bits(16, length) || !bits(16, inverse) || (length ^ 0xFFFFu) != inverse) return false;
        for (uint32_t i = 0; i < length; ++i) {
            uint32_t byte;
            if (!bits(8, byte) || !put(static_cast<uint8_t>(byte))) return false;
        }
        return true;
    }

    bool fixed() {
        static const std::array<Huffman, 2> codes = [] {
            std::array<Huffman, 2> made;
            uint8_t lengths[288];
            for (int s = 0; s < 288; ++s) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
            made[0].build(lengths, 288);
            for (int s = 0; s < 30; ++s) lengths[s] = 5;
            made[1].build(lengths, 30);
            return made;
        }();
        return inflateCodes(codes[0], codes[1]);
    }

    bool dynamic() {
        static constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                               11, 4,  12, 3, 13, 2, 14, 1, 15};
        uint32_t nlen, ndist, ncode;
        if (!bits(5, nlen) || !bits(5, ndist) || !bits(4, ncode)) return false;
        nlen += 257;
        ndist += 1;
        ncode += 4;
        if (nlen > 286 || ndist > 30) return false;
        uint8_t lengths[320] = {};
        for (uint32_t i = 0; i < ncode; ++i) {
            uint32_t len;
            if (!bits(3, len)) return false;
            lengths[kOrder[i]] = static_cast<uint8_t>(len);
        }
        Huffman lengthCode;
        if (!lengthCode.build(lengths, 19)) return false;
        uint32_t index = 0;
        std::fill(lengths, lengths + 320, uint8_t{0});
        while (index < nlen + ndist) {
            int symbol;
            if (!decode(lengthCode, symbol)) return false;
            if (symbol < 16) {
                lengths[index++] = static_cast<uint8_t>(symbol);
                continue;
            }
            uint8_t value = 0;
            uint32_t repeat;
            if (symbol == 16) {
                if (index == 0 || !bits(2, repeat)) return false;
                value = lengths[index - 1];
                repeat += 3;
            } else if (symbol == 17) {
                if (!bits(3, repeat)) return false;
                repeat += 3;
            } else {
                if (!bits(7, repeat)) return false;
                repeat += 11;
            }
            if (index + repeat > nlen + ndist) return false;
            while (repeat--) lengths[index++] = value;
        }
        if (lengths[256] == 0) return false;  // a block must be able to end
        Huffman literals, distances;
        if (!literals.build(lengths, static_cast<int>(nlen)) ||
            !distances.build(lengths + nlen, static_cast<int>(ndist))) {
            return false;
        }
        return inflateCodes(literals, distances);
    }

    bool inflateCodes(const Huffman& literals, const Huffman& distances) {
        for (;;) {
            int symbol;
            if (!decode(literals, symbol)) return false;
            if (symbol < 256) {
                if (!put(static_cast<uint8_t>(symbol))) return false;
                continue;
            }
            if (symbol == 256) return true;
            symbol -= 257;
            if (symbol >= 29) return false;
            uint32_t extra;
            if (!bits(kLengthExtra[symbol], extra)) return false;
            const uint32_t length = kLengthBase[symbol] + extra;
            int d;
            if (!decode(distances, d) || d >= 30 || !bits(kDistanceExtra[d], extra)) return false;
            const uint32_t distance = kDistanceBase[d] + extra;
            if (distance > produced_ || distance > kRing) return false;
            for (uint32_t i = 0; i < length; ++i) {
                if (!put(ring_[(produced_ - distance) % kRing])) return false;
            }
        }
    }

    Window& in_;
    uint64_t next_;  // the offset of the next byte to fetch
    const uint8_t* cursor_ = nullptr;
    const uint8_t* end_ = nullptr;
    uint64_t hold_ = 0;
    int held_ = 0;
    const uint64_t maxOutput_;
    const InflateOutput& output_;
    std::vector<uint8_t> ring_;
    uint64_t produced_ = 0;
    uint64_t flushed_ = 0;
    uint32_t crc_ = 0;
};

}  // namespace

InflateResult inflate(Window& in, uint64_t offset, uint64_t maxOutput,
                      const InflateOutput& output) {
    return Inflater(in, offset, maxOutput, output).run();
}

}  // namespace undelete
