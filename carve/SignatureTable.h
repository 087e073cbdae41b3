// The cheap first test of the carving pass: which recognisers' signatures
// match the first bytes of a block, found by the byte where each begins.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "carve/Recogniser.h"

namespace undelete {

class SignatureTable {
public:
    static constexpr size_t kMaxRecognisers = 32;
    // The bytes a block must offer for every signature to be tested.
    static constexpr size_t kLeadBytes = 16;

    // Recognisers in the order they are to be tried (at most kMaxRecognisers).
    explicit SignatureTable(const std::vector<const Recogniser*>& recognisers);

    // A bit for each recogniser (its index in the list) with a signature
    // that matches at the start of `bytes`.
    uint32_t match(const uint8_t* bytes, size_t length) const;

    const Recogniser& recogniser(size_t index) const { return *recognisers_[index]; }

private:
    struct Entry {
        const Signature* signature;
        uint32_t bit;
    };
    // The signatures that begin `offset` bytes into a block, by the byte
    // found there: a block costs one look-up an offset, not a comparison a
    // signature.
    struct Lane {
        size_t offset;
        std::vector<Entry> byByte[256];
    };
    std::vector<const Recogniser*> recognisers_;
    std::vector<Lane> lanes_;
    uint32_t always_ = 0;  // recognisers with an empty signature
};

}  // namespace undelete
