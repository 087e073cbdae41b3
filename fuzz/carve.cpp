// Every recogniser, the content check and the carving pass on the input.
// The first byte picks the block size and whether bytes are handed over
// where they lie or copied (the windows' two paths); the rest is the
// region. Each file found must lie inside it, after the one before.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "carve/CarvePass.h"
#include "carve/ContentCheck.h"
#include "carve/Recognisers.h"
#include "common/Text.h"

namespace {

// The region without windows: every read copied, as from a disk.
class CopyingSource final : public undelete::ByteSource {
public:
    explicit CopyingSource(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    uint64_t size() const override { return bytes_.size(); }
    bool read(uint64_t offset, uint8_t* into, size_t length) override {
        if (!undelete::fits(offset, length, bytes_.size())) return false;
        if (length) std::memcpy(into, bytes_.data() + offset, length);
        return true;
    }

private:
    const std::vector<uint8_t>& bytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace undelete;
    static const bool locale = initProcessLocale();
    (void)locale;
    if (size < 1 || size > (1u << 18)) return 0;
    const uint8_t mode = data[0];
    const std::vector<uint8_t> region(data + 1,
                                      data + size);  // exactly the input: reads past it show
    MemorySource windows(region.data(), region.size());
    CopyingSource copies(region);
    ByteSource& source =
        (mode & 0x80) ? static_cast<ByteSource&>(copies) : static_cast<ByteSource&>(windows);

    for (const Recogniser* recogniser : allRecognisers()) {
        const Recognised found = recognise(*recogniser, source);
        if (found.length > region.size() || (found && found.kind == nullptr)) __builtin_trap();
        for (const char* const* e = recogniser->extensions; *e != nullptr; ++e) {
            if (e == recogniser->extensions || (mode & 0x40)) checkContent(*e, source, 1u << 16);
        }
    }

    static constexpr uint32_t kBlocks[4] = {16, 64, 512, 4096};
    uint64_t next = 0;
    CarveHooks hooks;
    hooks.allocated = [&](uint64_t offset) { return (mode & 0x20) && offset % 8192 == 4096; };
    hooks.found = [&](const CarvedFile& file) {
        if (file.offset < next || file.length == 0 || file.offset + file.length > region.size()) {
            __builtin_trap();
        }
        next = file.offset + file.length;
    };
    CarvePass(source, 0, region.size(), kBlocks[mode & 3], hooks).run();
    return 0;
}
