#include "app/cli/BatchRun.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>
#include <string>
#include <utility>

#include "app/FaceTexts.h"
#include "app/Language.h"
#include "app/cli/BatchFormat.h"
#include "app/cli/InterruptStop.h"
#include "app/cli/NameMatch.h"
#include "app/cli/ProgressLine.h"
#include "core/ContentVerdicts.h"
#include "core/ScannedVolume.h"
#include "save/FileSystem.h"
#include "scan/RowTexts.h"

namespace undelete {

void printError(const char* format, ...) {
    std::fputs("undelete: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, tr(format), args);
    va_end(args);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

namespace {

using ull = unsigned long long;

MessageSink standardError() {
    return [](const char* text) { printError("%s", tr(text)); };
}

bool wanted(const BatchRequest& request, const DeletedFile& file) {
    if (file.size < request.minSize) return false;
    return request.match.empty() || nameMatches(request.match, file.name);
}

// The scan's file list on standard output, in large writes: a scan may
// list many thousands. The header goes out with the first row, or at the
// end of a scan that listed none. A scan for a save keeps its rows instead,
// to choose among. The scanner's messages and the progress of the scan and
// of a save go to standard error.
class RowPrinter : public ScanObserver {
public:
    RowPrinter(const BatchRequest& request, LocalZone zone, ProgressLine& progress, bool keep)
        : request_(request), zone_(std::move(zone)), progress_(progress), keep_(keep) {
        if (!keep_) chunk_.reserve(kChunkBytes + 4096);
    }

    void told(const ScanMessage& message) override {
        // The batch sums up the failed reads itself; the FAT walk's two
        // texts are information, not a problem, so a script sees them only
        // with -v.
        if (message.kind == ScanMessage::Kind::FirstReadError) return;
        if (message.kind == ScanMessage::Kind::Information && !request_.verbose) return;
        progress_.end();
        printError("%s", tr(message.text));
    }

    bool began(const std::shared_ptr<ScannedVolume>& volume) override {
        volume_ = volume;
        return true;
    }

    bool found(const FoundFile& found) override {
        if (keep_) {
            rows_.push_back(found);
            return true;
        }
        if (!wanted(request_, found.file)) return true;
        header();
        ResultRow texts{};
        formatResultRow(found.file, zone_, texts);
        BatchFile file;
        file.row = found.number;
        file.index = found.index;
        file.file = found.file;
        file.timeText = texts.timeText;
        file.sizeText = texts.sizeText;
        if (request_.check && volume_) {
            file.content = verdictText(checkListedContent(*volume_, found.index, found.file));
        }
        (chunk_ += request_.json ? fileJson(file, zone_) : fileTsv(file, zone_)) += '\n';
        if (chunk_.size() >= kChunkBytes) flush();
        return true;
    }

    void progress(ScanPhase phase, uint64_t done, uint64_t total) override {
        progress_.show(phase == ScanPhase::Listing    ? tr("已检查 %llu / %llu")
                       : phase == ScanPhase::DeepPass ? tr("已读空闲簇 %llu / %llu")
                       : phase == ScanPhase::Carving  ? tr("已按内容查找 %llu / %llu MiB")
                                                      : tr("已写入 %llu / %llu 字节"),
                       phase == ScanPhase::Carving ? done >> 20 : done,
                       phase == ScanPhase::Carving ? total >> 20 : total);
    }

    void finish() {
        header();
        flush();
    }

    const std::vector<FoundFile>& rows() const { return rows_; }

private:
    static constexpr size_t kChunkBytes = 1u << 16;

    void header() {
        if (headed_) return;
        headed_ = true;
        if (request_.json) return;
        chunk_ += kFileHeader;
        if (request_.check) chunk_ += kContentHeader;
        chunk_ += '\n';
    }

    void flush() {
        std::fwrite(chunk_.data(), 1, chunk_.size(), stdout);
        std::fflush(stdout);
        chunk_.clear();
    }

    const BatchRequest& request_;
    const LocalZone zone_;
    ProgressLine& progress_;
    const bool keep_;
    std::vector<FoundFile> rows_;
    std::shared_ptr<ScannedVolume> volume_;  // for the content check
    std::string chunk_;
    bool headed_ = false;
};

// The user's answer, in batch mode: yes only with --force.
void reportDeclined(const std::string& output) {
    printError("无法保存到 %s：它在正在恢复的磁盘上，写入可能覆盖尚未保存的已删除文件"
               "（加上 --force 仍要保存）",
               output.c_str());
}

// The reason a save failed, as one message.
void reportFailedSave(const SaveReport& report) {
    if (report.refused) {
        printError("无法保存到 %s：目标是磁盘本身或原始磁盘", report.path.c_str());
    } else if (report.error != 0) {
        printError("无法保存到 %s：%s", report.path.c_str(), std::strerror(report.error));
    } else {
        printError("无法保存到 %s：无法从磁盘读取文件内容", report.path.c_str());
    }
}

void reportLostBytes(const SaveReport& report) {
    if (report.lostBytes == 0) return;
    printError("%s：%llu 字节无法读取，已写为零", report.path.c_str(),
               static_cast<ull>(report.lostBytes));
}

// The content of one item straight to standard output, which may be a
// pipe, a terminal or a file the shell opened.
class StandardOutputSink : public ContentSink {
public:
    bool begin(uint64_t) override { return true; }
    bool write(const uint8_t* bytes, size_t count) override {
        while (count > 0) {
            // Windows writes at most UINT_MAX bytes a call.
            const auto piece = static_cast<unsigned>(std::min<size_t>(count, size_t{1} << 30));
            const ssize_t n = ::write(STDOUT_FILENO, bytes, piece);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return fail();
            bytes += n;
            count -= static_cast<size_t>(n);
        }
        return true;
    }
    bool skip(uint64_t count) override {
        static const uint8_t zeros[64 * 1024] = {};
        while (count > 0) {
            const size_t n = count < sizeof zeros ? static_cast<size_t>(count) : sizeof zeros;
            if (!write(zeros, n)) return false;
            count -= n;
        }
        return true;
    }
    int error = 0;

private:
    bool fail() {
        if (error == 0) error = errno != 0 ? errno : EIO;
        return false;
    }
};

// Where the chosen files go: `-` (standard output), a file (one index,
// replaced only with --force) or a folder. Checks that need no disk are
// made here; false once told why nothing is saved.
bool chooseTarget(const BatchRequest& request, size_t unlisted, SaveTarget& target,
                  StandardOutputSink& stream) {
    // The user's answer, in batch mode: yes only with --force.
    target.agreeOnScannedDisk = [force = request.force] { return force; };
    target.path = request.output;
    if (request.output == "-") {
        // A file the shell opened there is a target like any other.
        target.kind = SaveTarget::Kind::Stream;
        target.path = "/proc/self/fd/1";
        target.stream = &stream;
        return unlisted == 0;
    }
    const bool single = !request.saveAll && request.saveIndices.size() == 1;
    // A path that ends in "/" (or "\\" on Windows) names a folder, made
    // when missing, as for several files.
    const char last = request.output.empty() ? '\0' : request.output.back();
    const bool namesFolder = last == '/' || last == kPathSeparator;
    const FileKind kind = inspect(request.output).kind;
    const bool exists = kind != FileKind::Missing;
    if (single && !namesFolder && kind != FileKind::Folder) {
        if (unlisted) return false;
        if (exists && !request.force) {
            printError("%s 已存在；加上 --force 可替换它", request.output.c_str());
            return false;
        }
        target.kind = SaveTarget::Kind::File;
        return true;
    }
    // A folder that does not exist yet is made by the save.
    if (exists && kind != FileKind::Folder) {
        printError("无法保存到 %s：%s", request.output.c_str(), std::strerror(ENOTDIR));
        return false;
    }
    target.kind = SaveTarget::Kind::Folder;
    return true;
}

// The one file of a path or of standard output.
int reportSave(SaveReport report, const SaveTarget& target, int streamError) {
    if (target.kind == SaveTarget::Kind::Stream) {
        report.path = "-";
        if (!report.refused) report.error = streamError;
    }
    if (report.outcome != SaveOutcome::Saved) {
        reportFailedSave(report);
        return kExitFailure;
    }
    reportLostBytes(report);
    return report.lostBytes == 0 ? kExitSuccess : kExitFailure;
}

// What the saves came to; files into a folder end with one summary line.
int reportSaves(const SaveResult& result, const SaveTarget& target,
                size_t unlisted, int streamError) {
    const bool stream = target.kind == SaveTarget::Kind::Stream;
    if (result.declined) {
        reportDeclined(stream ? "-" : target.path);
        return kExitFailure;
    }
    if (target.kind != SaveTarget::Kind::Folder) {
        return reportSave(result.reports.front(), target, streamError);
    }
    uint64_t saved = 0, failed = unlisted, bytes = 0, lost = 0;
    for (const SaveReport& report : result.reports) {
        if (report.outcome == SaveOutcome::Saved) {
            ++saved;
            bytes += report.bytes;
            lost += report.lostBytes;
            reportLostBytes(report);
        } else {
            ++failed;
            reportFailedSave(report);
        }
    }
    printError("已保存 %llu 个文件，%llu 个失败，共 %llu 字节", static_cast<ull>(saved),
               static_cast<ull>(failed), static_cast<ull>(bytes));
    return failed == 0 && lost == 0 ? kExitSuccess : kExitFailure;
}

// Why `index` is not saved: no row of this scan lists it.
void tellUnlisted(const BatchRequest& request, const std::set<uint64_t>& listed, uint64_t index) {
    const std::string nearest = nearestIndices({listed.begin(), listed.end()}, index, 3);
    if (request.wholeDisk) {
        printError("目录索引 %llu 不是整个磁盘的扫描中列出的文件", static_cast<ull>(index));
        if (listed.empty()) printError("整个磁盘的扫描没有列出文件");
        else printError("索引是 --scan disk 输出的 index 列；最接近的有：%s", nearest.c_str());
        return;
    }
    printError("目录索引 %llu 不是分区行 %llu 中列出的已删除文件", static_cast<ull>(index),
               static_cast<ull>(request.row));
    if (listed.empty()) {
        printError("分区行 %llu 没有列出已删除的文件", static_cast<ull>(request.row));
    } else {
        printError("索引是 --scan %llu 输出的 index 列 (不是 row 列)；最接近的有：%s",
                   static_cast<ull>(request.row), nearest.c_str());
    }
}

int saveRows(ScannedVolume& volume, RowPrinter& printer, ProgressLine& progress,
             const BatchRequest& request) {
    std::set<uint64_t> listed;
    std::vector<uint32_t> chosen;
    for (const FoundFile& row : printer.rows()) {
        listed.insert(row.index);
        if (request.saveAll && wanted(request, row.file)) chosen.push_back(row.index);
    }
    size_t unlisted = 0;
    for (const uint64_t index : request.saveIndices) {
        if (listed.count(index) == 0) {
            tellUnlisted(request, listed, index);
            ++unlisted;
            continue;
        }
        chosen.push_back(static_cast<uint32_t>(index));
    }
    SaveTarget target;
    StandardOutputSink stream;
    if (!chooseTarget(request, unlisted, target, stream)) return kExitFailure;
    const SaveResult result = volume.save(target, chosen, &printer);
    if (target.kind == SaveTarget::Kind::Folder) progress.end();
    return reportSaves(result, target, unlisted, stream.error);
}

// Told when sector 0 holds neither a table nor a volume.
const char kSearchAdvice[] =
    "要按引导扇区在整个磁盘上搜索丢失的分区，请用 --partitions --deep（再用 --scan 行号 --deep 扫描找到的分区）";

void printPartitionRows(const std::vector<PartitionRow>& rows, size_t from, bool json) {
    for (size_t i = from; i < rows.size(); ++i) {
        const int number = static_cast<int>(i);
        const PartitionRow& row = rows[i];
        const std::string line = json ? partitionJson(number, row.record, row.bytesPerSector)
                                      : partitionTsv(number, row.record, row.bytesPerSector);
        std::printf("%s\n", line.c_str());
    }
    std::fflush(stdout);
}

// The search for the volumes the table does not name, their rows appended
// after the table's; Ctrl-C stops it, keeping what it found. True when
// stopped.
bool appendFoundRows(const DiskSource& context, std::vector<PartitionRow>& rows) {
    ProgressLine progress(::isatty(STDERR_FILENO) ? stderr : nullptr);
    std::atomic<bool> stop{false};
    SearchControl control;
    control.stopRequested = [&stop] { return stop.load(); };
    control.progress = [&progress](uint64_t done, uint64_t total) {
        progress.show(tr("已搜索 %llu / %llu MiB"), done >> 20, total >> 20);
    };
    FoundRows found;
    {
        InterruptStop interrupt([&stop] { stop = true; });
        found = findLostVolumes(context, rows, control);
    }
    progress.end();
    for (PartitionRow& row : found.rows) rows.push_back(std::move(row));
    return found.stopped;
}

}  // namespace

int listPartitions(const DiskSource& context, bool json, bool deep) {
    std::vector<PartitionRow> rows;
    const PartitionTableKind kind = partitionRows(context, standardError(), rows);
    if (!json) std::printf("%s\n", kPartitionHeader);
    printPartitionRows(rows, 0, json);
    if (!deep) {
        if (kind == PartitionTableKind::None) printError("%s", tr(kSearchAdvice));
        return kExitSuccess;
    }
    const size_t tableRows = rows.size();
    const bool stopped = appendFoundRows(context, rows);
    printPartitionRows(rows, tableRows, json);
    if (stopped) {
        printError("搜索已停止：只列出了停止前找到的分区");
        return kExitFailure;
    }
    return kExitSuccess;
}

namespace {

// The row asked for, or the whole disk; false once told why there is none.
bool chosenRecord(const BatchRequest& request, const DiskSource& context, PartitionRecord& record,
                  int& status) {
    if (request.wholeDisk) {
        record = wholeDiskRecord(context);
        return true;
    }
    std::vector<PartitionRow> partitions;
    const PartitionTableKind kind =
        partitionRows(context, standardError(), partitions);
    // The found rows are numbered after the table's, so they are looked
    // for only when the row asked for lies past the table's.
    if (request.deep && request.row >= partitions.size() && appendFoundRows(context, partitions)) {
        printError("搜索已停止：只列出了停止前找到的分区");
        status = kExitFailure;
        return false;
    }
    if (request.row >= partitions.size()) {
        printError("没有分区行 %llu（磁盘有 %llu 行）", static_cast<ull>(request.row),
                   static_cast<ull>(partitions.size()));
        if (kind == PartitionTableKind::None && !request.deep) printError("%s", tr(kSearchAdvice));
        status = kExitUsage;
        return false;
    }
    record = partitions[request.row].record;
    return true;
}

}  // namespace

int scanPartition(const BatchRequest& request, DiskSource context) {
    PartitionRecord record;
    int chosen = kExitSuccess;
    if (!chosenRecord(request, context, record, chosen)) return chosen;
    ProgressLine progress(::isatty(STDERR_FILENO) ? stderr : nullptr);
    // A plain listing goes out while the scan runs; saves choose among the
    // rows afterwards and keep them.
    const bool saving = request.saveAll || !request.saveIndices.empty();
    RowPrinter printer(request, context.zone, progress, saving);
    const StopToken stop;
    ScanResult scan;
    {
        // Ctrl-C stops the scan: the rows listed so far are printed.
        InterruptStop interrupt([stop] { stop.stop(); });
        ScanOptions options;
        options.deep = request.deep;
        options.carve = request.carve;
        scan = scanRow(context, record, options, stop, printer);
    }
    progress.end();
    const ScanReport& report = scan.report;
    if (report.outcome == ScanOutcome::Unsupported) printError("%s", tr(kUnsupportedMessage));
    int status = kExitSuccess;
    if (stop.stopped() || report.outcome == ScanOutcome::Stopped) {
        printer.finish();
        printError("%s", tr(kScanStoppedMessage));
        status = kExitFailure;
    } else if (report.outcome != ScanOutcome::Completed) {
        if (request.wholeDisk) printError("无法扫描整个磁盘");
        else printError("分区行 %llu 无法扫描", static_cast<ull>(request.row));
        status = kExitFailure;
    } else if (saving) {
        status = saveRows(*scan.volume, printer, progress, request);
    } else {
        printer.finish();
    }
    // What could be listed is listed, but a scan that could not read all
    // it wanted is no success.
    // (A scan cut short by the stop says only that it stopped.)
    const bool cut = report.outcome == ScanOutcome::Stopped;
    if (!cut && report.failedReads > 0) {
        printError("读取失败 %llu 次，第一次在字节 %llu", static_cast<ull>(report.failedReads),
                   static_cast<ull>(report.firstFailedAt));
        status = kExitFailure;
    }
    // The scanner has told why its rows may not be all (on standard error).
    if (!cut && report.incomplete > 0) status = kExitFailure;
    // The table promises more than the disk holds: what lies past its end
    // was not scanned.
    if (record.reachesPastDevice()) {
        printError("分区行 %llu 超出磁盘末尾：%llu 个扇区中只有 %llu 个在磁盘上",
                   static_cast<ull>(request.row), static_cast<ull>(record.totalSectors),
                   static_cast<ull>(record.presentSectors()));
        status = kExitFailure;
    }
    return status;
}

}  // namespace undelete
