// OLE2 compound files (Word, Excel and PowerPoint documents before 2007,
// Windows Installer packages, Outlook messages): the file ends after the
// highest sector its allocation table uses. The kind is told by the names
// of the streams in its directory.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "carve/Recognisers.h"

namespace undelete {
namespace {

constexpr char kMagic[] = {'\xD0', '\xCF', '\x11', '\xE0', '\xA1', '\xB1', '\x1A', '\xE1'};
constexpr Signature kSignatures[] = {{0, kMagic, 8}};
constexpr const char* kExtensions[] = {"doc", "dot", "xls", "xlt", "ppt", "pps", "pot",  "msi",
                                       "msp", "msg", "vsd", "pub", "ole", "db",  nullptr};
constexpr uint32_t kFree = 0xFFFFFFFF, kEndOfChain = 0xFFFFFFFE, kMaxRegular = 0xFFFFFFFA;
constexpr uint32_t kHeaderTable = 109;  // table sectors named in the header itself
constexpr uint32_t kMaxDirectorySectors = 64;

HeaderCheck header(const uint8_t* bytes, size_t length) {
    if (length < 512 || std::memcmp(bytes, kSignatures[0].bytes, 8) != 0 ||
        le16(bytes + 0x1C) != 0xFFFE) {
        return {};
    }
    const uint16_t major = le16(bytes + 0x1A), shift = le16(bytes + 0x1E);
    if (!((major == 3 && shift == 9) || (major == 4 && shift == 12)) || le16(bytes + 0x20) != 6 ||
        le32(bytes + 0x2C) == 0 || le32(bytes + 0x38) != 4096) {
        return {};
    }
    return {"ole2", "ole", 0};
}

class Compound {
public:
    Compound(Window& file, uint32_t sectorBytes) : file_(file), size_(sectorBytes) {}

    // The sectors of the allocation table, from the header and the chain
    // of further table sectors.
    bool tableSectors(const uint8_t* header) {
        const uint32_t count = le32(header + 0x2C);
        const uint64_t sectors = file_.size() / size_;
        if (count > sectors) return false;
        for (uint32_t i = 0; i < std::min(count, kHeaderTable); ++i) {
            table_.push_back(le32(header + 0x4C + 4 * i));
        }
        uint32_t next = le32(header + 0x44);
        for (uint32_t chained = 0; table_.size() < count; ++chained) {
            if (chained > count || next >= kMaxRegular) return false;
            const uint8_t* sector = file_.at(offset(next), size_);
            if (sector == nullptr) return false;
            for (uint32_t i = 0; i + 1 < size_ / 4 && table_.size() < count; ++i) {
                table_.push_back(le32(sector + 4 * i));
            }
            next = le32(sector + size_ - 4);
        }
        return true;
    }

    // The highest sector the table gives to anything.
    bool highestUsed(uint32_t& highest) {
        const uint32_t perSector = size_ / 4;
        bool any = false;
        for (size_t k = 0; k < table_.size(); ++k) {
            if (table_[k] >= kMaxRegular) return false;
            const uint8_t* sector = file_.at(offset(table_[k]), size_);
            if (sector == nullptr) return false;
            for (uint32_t i = 0; i < perSector; ++i) {
                const uint32_t v = le32(sector + 4 * i);
                if (v == kFree) continue;
                if (v > kMaxRegular && v < 0xFFFFFFFC) return false;
                highest = static_cast<uint32_t>(k * perSector + i);
                any = true;
            }
        }
        return any;
    }

    // The names of the directory's entries, and the root's class.
    std::vector<std::string> names(uint32_t first, uint8_t rootClass[16]) {
        std::vector<std::string> found;
        uint32_t sector = first;
        for (uint32_t n = 0; n < kMaxDirectorySectors && sector < kMaxRegular; ++n) {
            const uint8_t* entries = file_.at(offset(sector), size_);
            if (entries == nullptr) break;
            for (uint32_t e = 0; e < size_ / 128; ++e) {
                const uint8_t* entry = entries + 128 * e;
                // UTF-16 units, the length counting the final zero one.
                const uint16_t length = std::min<uint16_t>(le16(entry + 64), 64);
                std::string name;
                for (uint16_t i = 0; i + 2 < length; i += 2) name += static_cast<char>(entry[i]);
                if (n == 0 && e == 0) std::memcpy(rootClass, entry + 80, 16);
                found.push_back(name);
            }
            sector = next(sector);
        }
        return found;
    }

private:
    uint64_t offset(uint32_t sector) const { return (uint64_t{sector} + 1) * size_; }
    uint32_t next(uint32_t sector) {
        const uint32_t perSector = size_ / 4;
        if (sector / perSector >= table_.size()) return kEndOfChain;
        uint32_t v;
        return file_.le32(offset(table_[sector / perSector]) + 4ull * (sector % perSector), v)
                   ? v
                   : kEndOfChain;
    }

    Window& file_;
    const uint32_t size_;
    std::vector<uint32_t> table_;
};

const char* kindOf(const std::vector<std::string>& names, const uint8_t rootClass[16]) {
    static constexpr uint8_t kInstaller[16] = {0x84, 0x10, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00,
                                               0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
    if (std::memcmp(rootClass, kInstaller, 16) == 0) return "msi";
    for (const std::string& name : names) {
        if (name == "WordDocument") return "doc";
        if (name == "Workbook" || name == "Book") return "xls";
        if (name == "PowerPoint Document") return "ppt";
        if (name == "VisioDocument") return "vsd";
        if (name.compare(0, 12, "__substg1.0_") == 0) return "msg";
    }
    return nullptr;
}

Recognised walk(Window& file, const HeaderCheck&) {
    const uint8_t* h = file.at(0, 512);
    if (h == nullptr) return {};
    uint8_t head[512];
    std::memcpy(head, h, sizeof head);
    const uint32_t sectorBytes = 1u << le16(head + 0x1E);
    Compound compound(file, sectorBytes);
    uint32_t highest = 0;
    if (!compound.tableSectors(head) || !compound.highestUsed(highest)) return {};
    const uint64_t length = (uint64_t{highest} + 2) * sectorBytes;
    if (!file.has(0, length)) return {};
    uint8_t rootClass[16] = {};
    const std::vector<std::string> names = compound.names(le32(head + 0x30), rootClass);
    if (names.empty() || names[0] != "Root Entry") return {};
    Recognised found;
    found.length = length;
    if (const char* kind = kindOf(names, rootClass)) found.kind = found.extension = kind;
    return found;
}

}  // namespace

extern const Recogniser kOle2Recogniser = {"OLE2",      kSignatures, std::size(kSignatures),
                                           kExtensions, header,      walk};

}  // namespace undelete
