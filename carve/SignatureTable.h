// The cheap first test of the carving pass: which recognisers' signatures
// match the first bytes of a block, found by the block's first byte (and,
// for the few signatures that lie further in, by comparing them all).
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
    std::vector<const Recogniser*> recognisers_;
    std::vector<Entry> byFirstByte_[256];
    std::vector<Entry> further_;  // signatures that lie past the first byte
    uint32_t always_ = 0;         // recognisers with an empty signature
};

}  // namespace undelete
