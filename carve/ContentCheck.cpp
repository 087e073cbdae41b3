#include "carve/ContentCheck.h"

#include <algorithm>

#include "carve/Recognisers.h"

namespace undelete {
namespace {

// The content as the recognisers read it: reads past the budget, and
// reads that fail, are refused and noted, so that they are not taken for
// a structure that breaks. A window that is refused a read ahead asks
// again for only what it needs, at the same offset: a refusal followed by
// such a read that succeeds is forgotten.
class CheckedSource final : public ByteSource {
public:
    CheckedSource(ByteSource& content, uint64_t budget) : content_(content), budget_(budget) {}
    uint64_t size() const override { return content_.size(); }
    bool read(uint64_t offset, uint8_t* into, size_t length) override {
        if (!fits(offset, length, content_.size())) return false;
        const bool past = offset + length > budget_;
        if (past || !content_.read(offset, into, length)) {
            last_ = {offset, past, true};
            (past ? pastBudget_ : failed_) += 1;
            return false;
        }
        if (last_.pending && last_.offset == offset) (last_.past ? pastBudget_ : failed_) -= 1;
        last_.pending = false;
        return true;
    }
    const uint8_t* peek(uint64_t offset, size_t length) override {
        return offset + length <= budget_ ? content_.peek(offset, length) : nullptr;
    }
    bool pastBudget() const { return pastBudget_ != 0; }
    bool failed() const { return failed_ != 0; }

private:
    struct Refusal {
        uint64_t offset = 0;
        bool past = false;
        bool pending = false;
    };
    ByteSource& content_;
    const uint64_t budget_;
    Refusal last_;
    uint64_t pastBudget_ = 0;
    uint64_t failed_ = 0;
};

// Text files are often in a legacy code page (GBK, Latin-1), which the
// carving's UTF-8 rule would refuse: here text is any run without zero
// bytes or control bytes other than tab, line ends, form feed and escape.
ContentVerdict checkText(ByteSource& content) {
    uint8_t bytes[4096];
    const size_t n = static_cast<size_t>(std::min<uint64_t>(sizeof bytes, content.size()));
    if (!content.read(0, bytes, n)) return ContentVerdict::Unknown;
    if (n >= 2 &&
        ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
        return ContentVerdict::Match;  // UTF-16 with its byte-order mark
    }
    for (size_t i = 0; i < n; ++i) {
        const uint8_t c = bytes[i];
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != 0x1B) {
            return ContentVerdict::Mismatch;
        }
    }
    return ContentVerdict::Match;
}

}  // namespace

ContentVerdict checkContent(const std::string& extension, ByteSource& content, uint64_t budget) {
    const std::vector<const Recogniser*> recognisers = recognisersForExtension(extension);
    if (recognisers.empty() || content.size() == 0) return ContentVerdict::Unknown;
    ContentVerdict verdict = ContentVerdict::Mismatch;
    for (const Recogniser* recogniser : recognisers) {
        if (recogniser == &kTextRecogniser) {
            const ContentVerdict text = checkText(content);
            if (text != ContentVerdict::Mismatch) return text;
            continue;
        }
        CheckedSource checked(content, std::max<uint64_t>(budget, kHeaderBytes));
        if (recognise(*recogniser, checked)) return ContentVerdict::Match;
        if (checked.failed()) {
            verdict = ContentVerdict::Unknown;
            continue;
        }
        if (checked.pastBudget()) {
            // It held together as far as the check reads: taken as whole
            // when at least its header was its own.
            Window file(checked);
            const size_t first =
                static_cast<size_t>(std::min<uint64_t>(kHeaderBytes, content.size()));
            const uint8_t* bytes = file.at(0, first);
            if (bytes != nullptr && recogniser->header(bytes, first)) return ContentVerdict::Match;
        }
    }
    return verdict;
}

std::string nameExtension(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot + 1 == name.size() ||
        name.find('/', dot) != std::string::npos)
        return {};
    return name.substr(dot + 1);
}

const char* verdictText(ContentVerdict verdict) {
    switch (verdict) {
        case ContentVerdict::Match: return "match";
        case ContentVerdict::Mismatch: return "mismatch";
        case ContentVerdict::Unknown: return "unknown";
    }
    return "unknown";
}

}  // namespace undelete
