// Every recogniser the carving pass and the content check know, one per
// format family (each in a file of its own), in the order a block is tried:
// the formats that hold others first (an archive before the images in it),
// plain text last.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "carve/Recogniser.h"

namespace undelete {

extern const Recogniser kZipRecogniser;
extern const Recogniser kOle2Recogniser;
extern const Recogniser kSevenZipRecogniser;
extern const Recogniser kRarRecogniser;
extern const Recogniser kGzipRecogniser;
extern const Recogniser kPdfRecogniser;
extern const Recogniser kSqliteRecogniser;
extern const Recogniser kJpegRecogniser;
extern const Recogniser kPngRecogniser;
extern const Recogniser kGifRecogniser;
extern const Recogniser kBmpRecogniser;
extern const Recogniser kTiffRecogniser;
extern const Recogniser kPsdRecogniser;
extern const Recogniser kIsoMediaRecogniser;
extern const Recogniser kRiffRecogniser;
extern const Recogniser kMatroskaRecogniser;
extern const Recogniser kMpegProgramRecogniser;
extern const Recogniser kOggRecogniser;
extern const Recogniser kFlacRecogniser;
extern const Recogniser kMp3Recogniser;
extern const Recogniser kTextRecogniser;

// All of them, in the order above.
const std::vector<const Recogniser*>& allRecognisers();

// The families that own a name's extension (any case, without the dot);
// none for an extension no recogniser knows.
std::vector<const Recogniser*> recognisersForExtension(const std::string& extension);

}  // namespace undelete
