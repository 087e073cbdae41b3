#include "save/SaveService.h"

#include <cerrno>
#include <new>
#include <utility>

#include "save/FileSystem.h"
#include "save/OutputFile.h"
#include "save/PartialFile.h"
#include "save/SafeName.h"
#include "save/SameDiskGuard.h"
#include "disk/DriveSelection.h"

namespace undelete {

const char* const kPartialSuffix = ".undelete-partial";

namespace {

constexpr int kMaxNumber = 9999;                  // " (9999)" is the last name tried
constexpr uint64_t kProgressStep = 4u << 20;      // bytes between two progress reports
// A batch of files written before they are flushed and named: a stop in
// the middle of one takes them back (the signal handlers hold a slot each,
// one kept for the file being written).
constexpr size_t kBatchFiles = kPartialSlots / 2;
constexpr uint64_t kBatchBytes = 32u << 20;
constexpr uint64_t kLargeFileBytes = 8u << 20;  // flushed and named alone

// Passes a save's content on to where it goes, reports the bytes written
// (when there is a `progress`) and counts those that could not be read.
class ProgressSink : public ContentSink {
public:
    ProgressSink(ContentSink& out, const SaveProgress& progress) : out_(out), progress_(progress) {}
    bool begin(uint64_t length) override {
        total_ = length;
        return out_.begin(length);
    }
    bool write(const uint8_t* bytes, size_t count) override {
        return out_.write(bytes, count) && moved(count);
    }
    bool skip(uint64_t count) override { return out_.skip(count) && moved(count); }
    bool lost(uint64_t count) override {
        lost_ += count;
        return out_.lost(count) && moved(count);
    }
    uint64_t lostBytes() const { return lost_; }

private:
    bool moved(uint64_t count) {
        done_ += count;
        if (progress_ && done_ / kProgressStep != (done_ - count) / kProgressStep) {
            progress_(done_, total_);
        }
        return true;
    }
    ContentSink& out_;
    const SaveProgress& progress_;
    uint64_t total_ = 0;
    uint64_t done_ = 0;
    uint64_t lost_ = 0;
};

std::string joined(const std::string& folder, const std::string& name) {
    return folder + kPathSeparator + name;
}

// Streams the content into `file`, which is open; true once it is whole,
// flushed (unless `flush` is false) and closed.
bool stream(OutputFile& file, const ContentSource& content, const SaveProgress& progress,
            SaveReport& report, bool flush) {
    bool ok = false;
    try {
        ProgressSink sink(file, progress);
        ok = content(sink) && file.finish(flush);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    report.bytes = file.length();
    report.lostBytes = file.lostBytes();
    report.error = file.error();
    file.close();
    return ok;
}

// A file written whole under its temporary name, still to be named.
struct Temporary {
    std::string path;
    int slot = -1;  // the signal handlers' (PartialFile.h)
};

void dropTemporary(const Temporary& temporary) {
    removeFile(temporary.path);
    keepOnSignal(temporary.slot);
}

// Writes the content to a new temporary file in `folder` named after
// `name`, with the permission bits `mode` when not 0, flushed when `flush`.
// True: `temporary` holds it, whole, still to be renamed; false: nothing is
// left.
bool writeTemporary(const std::string& folder, const std::string& name, unsigned mode,
                    const ContentSource& content, const SaveProgress& progress, bool flush,
                    Temporary& temporary, SaveReport& report) {
    OutputFile file;
    for (int n = 0;; ++n) {
        const std::string suffix = kPartialSuffix + (n > 0 ? "-" + std::to_string(n) : "");
        temporary.path = joined(folder, nameWithin(".", name, suffix, kRecoveredNameRules));
        // Named for the signal handlers before it exists, so no signal
        // finds it made but unnamed. (Should the name be taken, a signal in
        // this instant removes that file: a partial one, never a result.)
        temporary.slot = removeOnSignal(temporary.path);
        if (file.create(temporary.path)) break;
        keepOnSignal(temporary.slot);
        // One left by a crash is not ours to take.
        if (file.error() != EEXIST || n == kMaxNumber) {
            report.error = file.error();
            return false;
        }
    }
    if (mode != 0) file.setMode(mode);
    if (stream(file, content, progress, report, flush)) return true;
    dropTemporary(temporary);
    return false;
}

// The temporary file takes the name `path`; false (and it is gone) when it
// cannot, with the reason in `error`. The folder is flushed, or added to
// `unflushed` when not null.
bool moveIntoPlace(const Temporary& temporary, const std::string& path, bool replace, int& error,
                   std::set<std::string>* unflushed = nullptr) {
    error = moveFile(temporary.path, path, replace);
    if (error == 0) {
        keepOnSignal(temporary.slot);
        if (unflushed != nullptr) unflushed->insert(folderOf(path));
        else flushFolder(folderOf(path));
        return true;
    }
    if (error == EEXIST && !replace) return false;  // the caller tries another name
    dropTemporary(temporary);
    return false;
}

// Names `temporary`, written in `where`, `name` or the first of
// "name (1)" … not taken, so a file made meanwhile is not replaced.
void nameInFolder(const Temporary& temporary, const std::string& where, const std::string& name,
                  SaveReport& report, std::set<std::string>* unflushed) {
    for (int n = 0; n <= kMaxNumber; ++n) {
        const std::string path = joined(where, numberedName(name, n, true, kRecoveredNameRules));
        if (moveIntoPlace(temporary, path, false, report.error, unflushed)) {
            report.path = path;
            report.outcome = SaveOutcome::Saved;
            return;
        }
        if (report.error != EEXIST) return;
    }
    dropTemporary(temporary);
}

// Goes into the folder `part` of `where`, made when missing; a name taken
// by a file gets " (1)", " (2)" …, as a file's would.
int enterFolder(std::string& where, const std::string& part, std::string& failed) {
    for (int n = 0; n <= kMaxNumber; ++n) {
        const std::string candidate =
            joined(where, numberedName(part, n, false, kRecoveredNameRules));
        const FileInfo info = inspect(candidate);
        if (info.kind != FileKind::Folder && info.kind != FileKind::Missing) continue;
        int error = 0;
        if (info.kind == FileKind::Missing) {
            error = info.error == ENOENT ? makeFolder(candidate) : info.error;
            // Made meanwhile: a folder is as good, a file is not.
            if (error == EEXIST && inspect(candidate).kind == FileKind::Folder) error = 0;
            if (error == EEXIST) continue;
        }
        if (error != 0) {
            failed = candidate;
            return error;
        }
        where = candidate;
        return 0;
    }
    failed = joined(where, part);
    return EEXIST;
}

// Makes the folders of `relative` (a path inside the volume, "/Docs/a/")
// below `where`, which then names the deepest. "." and ".." are dropped.
int makeVolumeFolders(std::string& where, const std::string& relative, std::string& failed) {
    size_t at = 0;
    while (at < relative.size()) {
        size_t end = relative.find('/', at);
        if (end == std::string::npos) end = relative.size();
        const std::string part = safeName(relative.substr(at, end - at), kRecoveredNameRules);
        at = end + 1;
        if (part.empty()) continue;
        if (const int error = enterFolder(where, part, failed)) return error;
    }
    return 0;
}

SaveReport failedReport(const std::string& path, int error) {
    SaveReport report;
    report.outcome = SaveOutcome::Failed;
    report.path = path;
    report.error = error;
    return report;
}

// A file written whole under a temporary name in `where`, to be named
// `name` there.
struct Written {
    Temporary temporary;
    std::string where, name;
    size_t report = 0;  // its place among the save's reports
};

// Writes `file` (item `index`) to a temporary file under `folder`, made
// with its parents when missing, below the file's folder path inside the
// volume; flushed when `flush`. `written` tells where (its temporary path
// empty when nothing was written).
SaveReport writeIntoFolder(const std::string& folder, const DeletedFile& file, uint64_t index,
                           const ContentSource& content, const SaveProgress& progress, bool flush,
                           Written& written) {
    std::string failed;
    written.where = folder;
    int error = makeFolders(folder, failed);
    if (error == 0) error = makeVolumeFolders(written.where, file.path, failed);
    if (error != 0) return failedReport(failed, error);

    written.name = safeName(file.name, kRecoveredNameRules);
    if (written.name.empty()) written.name = "file-" + std::to_string(index);
    SaveReport report = failedReport(joined(written.where, written.name), 0);
    if (!writeTemporary(written.where, written.name, 0, content, progress, flush,
                        written.temporary, report)) {
        written.temporary = {};
    }
    return report;
}

// True when a file of `batch` is to be named as one of the folders of
// `relative` (a path inside the volume).
bool namesFolderOf(const std::vector<Written>& batch, const std::string& relative) {
    for (size_t at = 0; at < relative.size();) {
        size_t end = relative.find('/', at);
        if (end == std::string::npos) end = relative.size();
        const std::string part = safeName(relative.substr(at, end - at), kRecoveredNameRules);
        at = end + 1;
        for (const Written& written : batch) {
            if (!part.empty() && written.name == part) return true;
        }
    }
    return false;
}

// Flushes the files of `batch`, written whole but not flushed, and names
// them; their reports are among `reports`.
void nameBatch(std::vector<Written>& batch, std::vector<SaveReport>& reports,
               std::set<std::string>& unflushed) {
    std::set<std::string> folders;
    for (const Written& written : batch) folders.insert(written.where);
    const bool flushed = flushFileSystemsOf(folders);
    for (const Written& written : batch) {
        SaveReport& report = reports[written.report];
        // Where the file systems could not be flushed at once, each file
        // is, and tells its own failure.
        if (!flushed) report.error = flushFile(written.temporary.path);
        if (report.error != 0) dropTemporary(written.temporary);
        else nameInFolder(written.temporary, written.where, written.name, report, &unflushed);
    }
    batch.clear();
}

}  // namespace

SaveService::SaveService(std::string diskPath) : diskPath_(std::move(diskPath)) {}

SaveResult SaveService::save(const SaveTarget& target, const std::vector<uint32_t>& indices,
                             SaveSource& files, const SaveProgress& progress) const {
    SaveResult result;
    result.declined = !agreed(target);
    if (result.declined) return result;
    // The bytes of each file reach the storage before it takes its name;
    // the folders that hold the new names are flushed once, at the end.
    // Into a folder, where the system can flush a file system at once, the
    // files are flushed a batch at a time (one flush, not one a file).
    std::set<std::string> unflushed;
    const bool batched = target.kind == SaveTarget::Kind::Folder && canFlushFileSystems();
    std::vector<Written> batch;
    uint64_t batchBytes = 0;
    const auto settle = [&] {
        nameBatch(batch, result.reports, unflushed);
        batchBytes = 0;
    };
    for (const uint32_t index : indices) {
        const ContentSource content = [&files, index](ContentSink& sink) {
            return files.read(index, sink);
        };
        DeletedFile file;
        SaveReport report = failedReport(target.path, 0);
        if (target.kind == SaveTarget::Kind::Stream) {
            report = saveToStream(target, content);
        } else if (target.kind == SaveTarget::Kind::File) {
            report = saveAs(target.path, content, progress);
        } else if (!files.describe(index, file)) {
            // no longer described: the failure names the folder
        } else if (!batched) {
            report = saveInto(target.path, file, index, content, progress, &unflushed);
        } else {
            // A waiting file takes its name before a folder of that name is
            // made, as when each is named as soon as it is written; and a
            // large file is written with none waiting and named at once, so
            // a stop while one is written takes back no other file.
            if (namesFolderOf(batch, file.path) || file.size >= kLargeFileBytes) settle();
            Written written;
            report = writeIntoFolder(target.path, file, index, content, progress, false, written);
            if (!written.temporary.path.empty()) {
                written.report = result.reports.size();
                batchBytes += report.bytes;
                batch.push_back(std::move(written));
            }
        }
        report.index = index;
        result.reports.push_back(std::move(report));
        if (batch.size() >= kBatchFiles || batchBytes >= kBatchBytes ||
            report.bytes >= kLargeFileBytes) {
            settle();
        }
    }
    settle();
    for (const std::string& folder : unflushed) flushFolder(folder);
    return result;
}

bool SaveService::agreed(const SaveTarget& target) const {
    if (target.kind == SaveTarget::Kind::Stream && isDiskPath(target.path, diskPath_)) return true;
    const std::string folder =
        target.kind == SaveTarget::Kind::File ? folderOf(target.path) : target.path;
    return !liesOnScannedDisk(folder, diskPath_) || !target.agreeOnScannedDisk || target.agreeOnScannedDisk();
}

SaveReport SaveService::saveToStream(const SaveTarget& target, const ContentSource& content) const {
    SaveReport report = failedReport(target.path, 0);
    if (isDiskPath(target.path, diskPath_)) {
        report.refused = true;
        return report;
    }
    if (target.stream == nullptr) return report;
    const SaveProgress none;
    ProgressSink sink(*target.stream, none);
    bool ok = false;
    try {
        ok = content(sink);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    report.lostBytes = sink.lostBytes();
    if (ok) report.outcome = SaveOutcome::Saved;
    return report;
}

SaveReport SaveService::saveAs(const std::string& path, const ContentSource& content,
                            const SaveProgress& progress) const {
    const std::string typedName = lastPartOf(path);
    const std::string name = safeName(typedName, kChosenNameRules);
    SaveReport report =
        failedReport(path.substr(0, path.size() - typedName.size()) + name, 0);
    if (name.empty()) {
        report.error = EISDIR;
        return report;
    }
    if (isDiskPath(report.path, diskPath_)) {
        report.refused = true;
        return report;
    }
    const FileInfo there = inspect(report.path);
    if (there.kind == FileKind::Folder) {
        report.error = EISDIR;
        return report;
    }
    if (there.kind == FileKind::Other) {
        // A device or pipe: nothing to replace, written as it is.
        OutputFile file;
        if (!file.openDevice(report.path)) {
            report.error = file.error();
        } else if (stream(file, content, progress, report, true)) {
            report.outcome = SaveOutcome::Saved;
        }
        return report;
    }
    // A file it replaces keeps its permissions.
    const unsigned mode = there.kind == FileKind::File ? there.mode : 0;
    Temporary temporary;
    if (!writeTemporary(folderOf(report.path), name, mode, content, progress, true, temporary,
                        report)) {
        return report;
    }
    if (moveIntoPlace(temporary, report.path, true, report.error)) {
        report.outcome = SaveOutcome::Saved;
    }
    return report;
}

SaveReport SaveService::saveInto(const std::string& folder, const DeletedFile& file, uint64_t index,
                              const ContentSource& content, const SaveProgress& progress,
                              std::set<std::string>* unflushed) const {
    Written written;
    SaveReport report = writeIntoFolder(folder, file, index, content, progress, true, written);
    if (!written.temporary.path.empty()) {
        nameInFolder(written.temporary, written.where, written.name, report, unflushed);
    }
    return report;
}

}  // namespace undelete
