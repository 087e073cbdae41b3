// The save service: where each recovered file goes, and that it
// appears there only whole.
//
// A save is written to a temporary name in the target folder
// (".NAME.undelete-partial": hidden, recognisable, never a result), flushed
// to the storage and only then renamed into place, so a failed or
// interrupted save leaves no file under the final name; a failed one, or
// one ended by SIGINT, SIGTERM or SIGHUP, removes the temporary file too
// (PartialFile.h). Names are made safe for the system written to
// (SafeName.h); a name or folder name already taken gets " (1)", " (2)" …;
// folders are made as needed.
#pragma once
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "scan/DeletedFile.h"
#include "scan/VolumeScanner.h"

namespace undelete {

enum class SaveOutcome { NothingToDo, Cancelled, Saved, Failed };

// One file saved (or not).
struct SaveReport {
    SaveOutcome outcome = SaveOutcome::NothingToDo;
    std::string path;             // where it was written, or what failed
    uint64_t index = 0;           // catalogue index
    uint64_t bytes = 0;           // the content's length
    uint64_t lostBytes = 0;       // of them, unreadable on the disk (written as zeros)
    int error = 0;                // the system's error number of a failed write, else 0
    bool refused = false;         // the path is the disk itself or a raw disk
};

// Streams one file's content into the sink; false when it could not.
using ContentSource = std::function<bool(ContentSink&)>;
// Bytes written of how many, now and then during a save.
using SaveProgress = std::function<void(uint64_t done, uint64_t total)>;

// Where a save goes.
struct SaveTarget {
    enum class Kind { File, Folder, Stream };
    Kind kind = Kind::File;
    // The file (its last part made safe for this system), the folder the
    // files go under, or the path that names the stream (checked as a file
    // there would be).
    std::string path;
    ContentSink* stream = nullptr;  // Stream: where the content goes
    // Asked once, before anything is written, when the target lies on the
    // disk being recovered: whether to save there all the same (empty: yes).
    std::function<bool()> agreeOnScannedDisk;
};

// The items a save reads, by catalogue index: described as they were
// listed, and streamed.
class SaveSource {
public:
    virtual ~SaveSource() = default;
    virtual bool describe(uint32_t index, DeletedFile& file) = 0;
    virtual bool read(uint32_t index, ContentSink& sink) = 0;
};

// What a save of several items came to.
struct SaveResult {
    bool declined = false;            // the user did not agree: nothing was saved
    std::vector<SaveReport> reports;  // one per index, in order
};

// The end of a temporary file's name.
extern const char* const kPartialSuffix;  // ".undelete-partial"

class SaveService {
public:
    // `diskPath`: the disk being recovered, which is never written.
    explicit SaveService(std::string diskPath);

    // Saves items `indices` of `files` to `target`: one file to a path, each
    // under a folder below its folder path inside the volume (a failure
    // naming the folder when an item is no longer described), or one to a
    // stream. The agreement to save onto the disk being recovered is asked
    // once, first.
    SaveResult save(const SaveTarget& target, const std::vector<uint32_t>& indices,
                    SaveSource& files, const SaveProgress& progress = {}) const;

    // False when `target` lies on the disk being recovered and the user
    // does not agree to save there. A stream that is the disk itself is not
    // asked about: its save is refused.
    bool agreed(const SaveTarget& target) const;

    // Saves to `path`, chosen by the user (its last part made safe for
    // this system), replacing a file there; a device or pipe is written as
    // it is.
    SaveReport saveAs(const std::string& path, const ContentSource& content,
                      const SaveProgress& progress = {}) const;

    // Saves `file` (item `index`) under `folder`, made with its parents
    // when missing, below the file's folder path inside the volume, under
    // its own name; never replaces anything. The folder that takes the new
    // name is flushed now, or added to `unflushed` for the caller to flush.
    SaveReport saveInto(const std::string& folder, const DeletedFile& file, uint64_t index,
                        const ContentSource& content, const SaveProgress& progress = {},
                        std::set<std::string>* unflushed = nullptr) const;

    // Streams the content into target.stream, its unreadable bytes
    // counted; refused when the path names the disk itself or a raw disk.
    SaveReport saveToStream(const SaveTarget& target, const ContentSource& content) const;

private:
    std::string diskPath_;
};

}  // namespace undelete
