#include "carve/Recognisers.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace undelete {

const std::vector<const Recogniser*>& allRecognisers() {
    static const std::vector<const Recogniser*> all = {
        &kZipRecogniser,         &kOle2Recogniser,     &kSevenZipRecogniser, &kRarRecogniser,
        &kGzipRecogniser,        &kPdfRecogniser,      &kSqliteRecogniser,   &kJpegRecogniser,
        &kPngRecogniser,         &kGifRecogniser,      &kBmpRecogniser,      &kTiffRecogniser,
        &kPsdRecogniser,         &kIsoMediaRecogniser, &kRiffRecogniser,     &kMatroskaRecogniser,
        &kMpegProgramRecogniser, &kOggRecogniser,      &kFlacRecogniser,     &kMp3Recogniser,
        &kTextRecogniser,
    };
    return all;
}

std::vector<const Recogniser*> recognisersForExtension(const std::string& extension) {
    std::string lower = extension;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::vector<const Recogniser*> found;
    for (const Recogniser* recogniser : allRecognisers()) {
        for (const char* const* e = recogniser->extensions; *e != nullptr; ++e) {
            if (lower == *e) {
                found.push_back(recogniser);
                break;
            }
        }
    }
    return found;
}

Recognised recognise(const Recogniser& recogniser, ByteSource& source) {
    Window file(source);
    const size_t first = static_cast<size_t>(std::min<uint64_t>(kHeaderBytes, source.size()));
    const uint8_t* bytes = file.at(0, first);
    if (bytes == nullptr || first == 0) return {};
    const HeaderCheck header = recogniser.header(bytes, first);
    if (!header) return {};
    Recognised found = recogniser.walk(file, header);
    if (found.length == 0 || found.length > source.size()) return {};
    if (found.kind == nullptr) {
        found.kind = header.kind;
        found.extension = header.extension;
    }
    return found;
}

}  // namespace undelete
