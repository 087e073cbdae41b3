// ZIP and the formats built on it (Office Open XML, OpenDocument, EPUB,
// Java and Android archives): local entries one after another (an entry
// whose sizes follow its data ends where its deflate stream ends), then
// the central directory with as many entries, then its end record. The
// kind is told by the entries: a stored "mimetype" first, or the folders
// the names lie in. The document's own properties give its title and date.
#include <algorithm>
#include <cstring>
#include <string>

#include "carve/Inflate.h"
#include "carve/MetadataText.h"
#include "carve/Recognisers.h"

namespace undelete {
namespace {

// Bytes, not a string: no text for the catalogue's extraction tools.
constexpr char kMagic[] = {'P', 'K', '\x03', '\x04'};
constexpr Signature kSignatures[] = {{0, kMagic, sizeof kMagic}};
constexpr const char* kExtensions[] = {"zip",  "docx", "docm", "xlsx", "xlsm", "pptx",
                                       "pptm", "odt",  "ods",  "odp",  "odg",  "epub",
                                       "jar",  "apk",  "xpi",  "war",  "ear",  nullptr};
constexpr uint32_t kLocal = 0x04034B50, kCentral = 0x02014B50, kEnd = 0x06054B50,
                   kDescriptor = 0x08074B50, kZip64End = 0x06064B50, kZip64Locator = 0x07064B50,
                   kSignature = 0x05054B50;
constexpr uint32_t kMaxEntries = 1u << 20;
constexpr size_t kPropertiesBytes = 65536;

bool knownMethod(uint16_t m) {
    return m <= 9 || m == 12 || m == 14 || m == 19 || m == 93 || m == 95 || m == 96 || m == 97 ||
           m == 98 || m == 99;
}

HeaderCheck header(const uint8_t* bytes, size_t length) {
    if (length < 30 || le32(bytes) != kLocal || bytes[4] > 63 || !knownMethod(le16(bytes + 8)) ||
        le16(bytes + 26) == 0) {
        return {};
    }
    return {"zip", "zip", 0};
}

// What the entries tell of the archive's kind and its document.
struct Contents {
    const char* kind = "zip";
    bool types = false, word = false, sheet = false, slides = false, android = false, java = false;
    std::string mimetype;
    std::string properties;  // the document's own properties, as XML

    void name(const std::string& n, uint32_t index) {
        if (index == 0 && n == "mimetype") return;
        types = types || n == "[Content_Types].xml";
        word = word || n.compare(0, 5, "word/") == 0;
        sheet = sheet || n.compare(0, 3, "xl/") == 0;
        slides = slides || n.compare(0, 4, "ppt/") == 0;
        android = android || n == "AndroidManifest.xml";
        java = java || n == "META-INF/MANIFEST.MF" ||
               (n.size() > 6 && n.compare(n.size() - 6, 6, ".class") == 0);
    }
    void decide() {
        static constexpr const char* kMimes[][2] = {
            {"application/epub+zip", "epub"},
            {"application/vnd.oasis.opendocument.text", "odt"},
            {"application/vnd.oasis.opendocument.spreadsheet", "ods"},
            {"application/vnd.oasis.opendocument.presentation", "odp"},
            {"application/vnd.oasis.opendocument.graphics", "odg"},
        };
        for (const auto& mime : kMimes) {
            if (mimetype == mime[0]) kind = mime[1];
        }
        if (kind != std::string("zip")) return;
        if (types && word) {
            kind = "docx";
        } else if (types && sheet) {
            kind = "xlsx";
        } else if (types && slides) {
            kind = "pptx";
        } else if (android) {
            kind = "apk";
        } else if (java) {
            kind = "jar";
        }
    }
};

bool propertiesEntry(const std::string& n) {
    return n == "docProps/core.xml" || n == "meta.xml" ||
           (n.size() > 4 && n.compare(n.size() - 4, 4, ".opf") == 0);
}

// The text of the first element of that name, with or without a
// namespace prefix ("<dc:title>", "<title>").
std::string element(const std::string& xml, const char* name) {
    const std::string open = std::string(name) + ">";
    for (size_t at = xml.find(open); at != std::string::npos; at = xml.find(open, at + 1)) {
        if (at == 0 || (xml[at - 1] != ':' && xml[at - 1] != '<') ||
            (at >= 2 && xml[at - 2] == '/'))
            continue;
        const size_t begin = at + open.size();
        const size_t end = xml.find("</", begin);
        if (end == std::string::npos) return {};
        std::string text = xml.substr(begin, end - begin);
        static constexpr const char* kEntities[][2] = {
            {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
        for (const auto& e : kEntities) {
            for (size_t p = text.find(e[0]); p != std::string::npos; p = text.find(e[0], p + 1)) {
                text.replace(p, std::strlen(e[0]), e[1]);
            }
        }
        return text;
    }
    return {};
}

void readProperties(const std::string& xml, FileMetadata& metadata) {
    const std::string title = element(xml, "title");
    metadata.title = metadataText(reinterpret_cast<const uint8_t*>(title.data()), title.size(),
                                  TextEncoding::Utf8);
    std::string created = element(xml, "created");
    if (created.empty()) created = element(xml, "creation-date");
    if (created.size() >= 19) {
        auto n = [&](size_t at, size_t len) { return std::atoi(created.substr(at, len).c_str()); };
        metadata.created = isoTime(n(0, 4), n(5, 2), n(8, 2), n(11, 2), n(14, 2), n(17, 2),
                                   created.size() > 19 && created[19] == 'Z' ? "Z" : "");
    }
}

// The bytes of an entry's data, decoded, up to kPropertiesBytes.
std::string entryText(Window& file, uint64_t data, uint64_t size, uint16_t method) {
    std::string text;
    if (method == 0) {
        const uint8_t* p =
            file.at(data, static_cast<size_t>(std::min<uint64_t>(size, kPropertiesBytes)));
        if (p) {
            text.assign(reinterpret_cast<const char*>(p),
                        static_cast<size_t>(std::min<uint64_t>(size, kPropertiesBytes)));
        }
    } else if (method == 8) {
        inflate(file, data, kPropertiesBytes, [&](const uint8_t* bytes, size_t n) {
            text.append(reinterpret_cast<const char*>(bytes),
                        std::min(n, kPropertiesBytes - text.size()));
            return text.size() < kPropertiesBytes;
        });
    }
    return text;
}

// Where an entry whose sizes follow its data ends; a deflated one also
// gives the CRC of what it decodes to.
uint64_t dataEnd(Window& file, uint64_t data, uint16_t method, uint64_t stated, uint32_t& crc,
                 bool& decoded) {
    decoded = false;
    if (method == 8) {
        const uint64_t left = file.size() - data;
        const uint64_t most = left > (uint64_t{4} << 30) / 1032 ? uint64_t{4} << 30 : left * 1032;
        const InflateResult r = inflate(file, data, most);
        decoded = r.ok;
        crc = r.crc;
        return r.ok ? r.end : Window::kNowhere;
    }
    if (stated != 0 && stated != 0xFFFFFFFF) {
        return fits(data, stated, file.size()) ? data + stated : Window::kNowhere;
    }
    // Stored: the first descriptor that gives the distance it lies at.
    for (uint64_t at = data;; ++at) {
        static constexpr char kMark[] = {'P', 'K', '\x07', '\x08'};
        at = file.find(at, file.size(), kMark, 4);
        uint32_t size;
        if (at == Window::kNowhere || !file.le32(at + 8, size)) return Window::kNowhere;
        if (size == at - data) return at;
    }
}

// Where the record after the local entry at `at` begins; 0 when the entry
// does not hold together.
uint64_t local(Window& file, uint64_t at, uint32_t index, Contents& contents, bool& properties) {
    const uint8_t* h = file.at(at, 30);
    if (h == nullptr || le32(h) != kLocal) return {};
    const uint16_t flags = le16(h + 6), method = le16(h + 8), nameLength = le16(h + 26),
                   extraLength = le16(h + 28);
    uint64_t size = le32(h + 18);
    const uint64_t data = at + 30 + nameLength + extraLength;
    if (!knownMethod(method) || !file.has(at, 30ull + nameLength + extraLength)) return {};
    const uint8_t* n = file.at(at + 30, nameLength);
    if (n == nullptr) return {};
    const std::string name(reinterpret_cast<const char*>(n), nameLength);
    contents.name(name, index);
    // A ZIP64 extra field holds the sizes the header leaves at all ones.
    bool zip64 = false;
    const uint8_t* extra = file.at(at + 30 + nameLength, extraLength);
    for (size_t e = 0; extra != nullptr && e + 4 <= extraLength;) {
        const uint16_t id = le16(extra + e), length = le16(extra + e + 2);
        if (length > extraLength - e - 4) break;
        if (id == 1) {
            // Both sizes, the original first, as a local header must give them.
            zip64 = true;
            if (size == 0xFFFFFFFF && length >= 16) size = le64(extra + e + 12);
        }
        e += 4u + length;
    }
    uint64_t end;
    uint64_t next;
    if (flags & 8) {
        uint32_t crc = 0;
        bool decoded = false;
        end = dataEnd(file, data, method, size, crc, decoded);
        if (end == Window::kNowhere) return {};
        uint32_t sig, stored;
        next = end;
        if (file.le32(next, sig) && sig == kDescriptor) next += 4;
        // The descriptor: the CRC, then both sizes.
        if (decoded && (!file.le32(next, stored) || stored != crc)) return {};
        next += zip64 ? 20 : 12;
    } else {
        if (!fits(data, size, file.size())) return {};
        end = data + size;
        next = end;
    }
    if (!file.has(0, next)) return {};
    if (index == 0 && name == "mimetype" && method == 0 && end - data <= 128) {
        contents.mimetype = entryText(file, data, end - data, 0);
    }
    if (!properties && propertiesEntry(name)) {
        contents.properties = entryText(file, data, end - data, method);
        properties = !contents.properties.empty();
    }
    return next;
}

Recognised walk(Window& file, const HeaderCheck&) {
    Recognised found;
    Contents contents;
    bool properties = false;
    uint64_t at = 0;
    uint32_t entries = 0;
    for (uint32_t sig; entries < kMaxEntries && file.le32(at, sig) && sig == kLocal; ++entries) {
        at = local(file, at, entries, contents, properties);
        if (at == 0) return {};
    }
    const uint64_t directory = at;
    uint32_t listed = 0;
    for (uint32_t sig; listed <= entries && file.le32(at, sig) && sig == kCentral; ++listed) {
        const uint8_t* h = file.at(at, 46);
        if (h == nullptr) return {};
        at += 46ull + le16(h + 28) + le16(h + 30) + le16(h + 32);
    }
    if (listed != entries || entries == 0) return {};
    uint32_t sig;
    if (file.le32(at, sig) && sig == kSignature) {
        uint16_t size;
        if (!file.le16(at + 4, size)) return {};
        at += 6ull + size;
    }
    if (file.le32(at, sig) && sig == kZip64End) {
        uint64_t size;
        if (!file.le64(at + 4, size) || size > file.size()) return {};
        at += 12 + size;
    }
    if (file.le32(at, sig) && sig == kZip64Locator) at += 20;
    const uint8_t* end = file.at(at, 22);
    if (end == nullptr || le32(end) != kEnd) return {};
    const uint16_t total = le16(end + 10);
    const uint32_t offset = le32(end + 16);
    if ((total != 0xFFFF && total != (entries & 0xFFFF)) ||
        (offset != 0xFFFFFFFF && offset != directory)) {
        return {};
    }
    at += 22ull + le16(end + 20);
    if (!file.has(0, at)) return {};
    contents.decide();
    found.kind = found.extension = contents.kind;
    if (!contents.properties.empty()) readProperties(contents.properties, found.metadata);
    found.length = at;
    return found;
}

}  // namespace

extern const Recogniser kZipRecogniser = {"ZIP",       kSignatures, std::size(kSignatures),
                                          kExtensions, header,      walk};

}  // namespace undelete
