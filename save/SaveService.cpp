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
// flushed and closed.
bool stream(OutputFile& file, const ContentSource& content, const SaveProgress& progress,
            SaveReport& report) {
    bool ok = false;
    try {
        ProgressSink sink(file, progress);
        ok = content(sink) && file.finish();
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    report.bytes = file.length();
    report.lostBytes = file.lostBytes();
    report.error = file.error();
    file.close();
    return ok;
}

// Writes the content to a new temporary file in `folder` named after
// `name`, with the permission bits `mode` when not 0. True: `temporary`
// holds it, whole, still to be renamed; false: nothing is left.
bool writeTemporary(const std::string& folder, const std::string& name, unsigned mode,
                    const ContentSource& content, const SaveProgress& progress,
                    std::string& temporary, SaveReport& report) {
    OutputFile file;
    for (int n = 0;; ++n) {
        const std::string suffix = kPartialSuffix + (n > 0 ? "-" + std::to_string(n) : "");
        temporary = joined(folder, nameWithin(".", name, suffix, kRecoveredNameRules));
        // Named for the signal handlers before it exists, so no signal
        // finds it made but unnamed. (Should the name be taken, a signal in
        // this instant removes that file: a partial one, never a result.)
        removeOnSignal(temporary);
        if (file.create(temporary)) break;
        keepOnSignal();
        // One left by a crash is not ours to take.
        if (file.error() != EEXIST || n == kMaxNumber) {
            report.error = file.error();
            return false;
        }
    }
    if (mode != 0) file.setMode(mode);
    if (stream(file, content, progress, report)) return true;
    removeFile(temporary);
    keepOnSignal();
    return false;
}

// The temporary file takes the name `path`; false (and it is gone) when it
// cannot, with the reason in `error`.
bool moveIntoPlace(const std::string& temporary, const std::string& path, bool replace,
                   int& error) {
    error = moveFile(temporary, path, replace);
    if (error == 0) {
        keepOnSignal();
        flushFolder(folderOf(path));
        return true;
    }
    if (error == EEXIST && !replace) return false;  // the caller tries another name
    removeFile(temporary);
    keepOnSignal();
    return false;
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

}  // namespace

SaveService::SaveService(std::string diskPath) : diskPath_(std::move(diskPath)) {}

SaveResult SaveService::save(const SaveTarget& target, const std::vector<uint32_t>& indices,
                             SaveSource& files, const SaveProgress& progress) const {
    SaveResult result;
    result.declined = !agreed(target);
    if (result.declined) return result;
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
        } else if (files.describe(index, file)) {
            report = saveInto(target.path, file, index, content, progress);
        }
        report.index = index;
        result.reports.push_back(std::move(report));
    }
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
        } else if (stream(file, content, progress, report)) {
            report.outcome = SaveOutcome::Saved;
        }
        return report;
    }
    // A file it replaces keeps its permissions.
    const unsigned mode = there.kind == FileKind::File ? there.mode : 0;
    std::string temporary;
    if (!writeTemporary(folderOf(report.path), name, mode, content, progress, temporary, report)) {
        return report;
    }
    if (moveIntoPlace(temporary, report.path, true, report.error)) {
        report.outcome = SaveOutcome::Saved;
    }
    return report;
}

SaveReport SaveService::saveInto(const std::string& folder, const DeletedFile& file, uint64_t index,
                              const ContentSource& content, const SaveProgress& progress) const {
    std::string where = folder, failed;
    int error = makeFolders(folder, failed);
    if (error == 0) error = makeVolumeFolders(where, file.path, failed);
    if (error != 0) return failedReport(failed, error);

    std::string name = safeName(file.name, kRecoveredNameRules);
    if (name.empty()) name = "file-" + std::to_string(index);
    SaveReport report = failedReport(joined(where, name), 0);
    std::string temporary;
    if (!writeTemporary(where, name, 0, content, progress, temporary, report)) return report;
    // The name is chosen last, so a file made meanwhile is not replaced.
    for (int n = 0; n <= kMaxNumber; ++n) {
        const std::string path = joined(where, numberedName(name, n, true, kRecoveredNameRules));
        if (moveIntoPlace(temporary, path, false, report.error)) {
            report.path = path;
            report.outcome = SaveOutcome::Saved;
            return report;
        }
        if (report.error != EEXIST) return report;
    }
    removeFile(temporary);
    keepOnSignal();
    return report;
}

}  // namespace undelete
