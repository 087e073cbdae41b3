#include "carve/SignatureTable.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace undelete {

SignatureTable::SignatureTable(const std::vector<const Recogniser*>& recognisers)
    : recognisers_(recognisers) {
    if (recognisers_.size() > kMaxRecognisers) throw std::length_error("too many recognisers");
    for (size_t i = 0; i < recognisers_.size(); ++i) {
        const Recogniser& r = *recognisers_[i];
        const uint32_t bit = 1u << i;
        for (size_t s = 0; s < r.signatureCount; ++s) {
            const Signature& signature = r.signatures[s];
            if (signature.length == 0) {
                always_ |= bit;
                continue;
            }
            auto lane = std::find_if(lanes_.begin(), lanes_.end(),
                                     [&](const Lane& l) { return l.offset == signature.offset; });
            if (lane == lanes_.end()) lane = lanes_.insert(lanes_.end(), Lane{signature.offset, {}});
            lane->byByte[static_cast<uint8_t>(signature.bytes[0])].push_back({&signature, bit});
        }
    }
}

uint32_t SignatureTable::match(const uint8_t* bytes, size_t length) const {
    uint32_t found = always_;
    for (const Lane& lane : lanes_) {
        if (lane.offset >= length) continue;
        for (const Entry& e : lane.byByte[bytes[lane.offset]]) {
            const Signature& s = *e.signature;
            if (s.offset + size_t{s.length} <= length &&
                std::memcmp(bytes + s.offset, s.bytes, s.length) == 0) {
                found |= e.bit;
            }
        }
    }
    return found;
}

}  // namespace undelete
