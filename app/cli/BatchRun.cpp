#include "app/cli/BatchRun.h"

#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "app/Language.h"
#include "save/SameDiskGuard.h"
#include "app/cli/BatchFormat.h"
#include "app/cli/BatchView.h"
#include "app/cli/InterruptStop.h"
#include "disk/DriveSelection.h"
#include "partition/PartitionRows.h"

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
    return request.match.empty() || ::fnmatch(request.match.c_str(), file.name.c_str(), 0) == 0;
}

// The file list on standard output, in large writes: a scan may list many
// thousands. The header goes out with the first row, or at the end of a
// scan that listed none.
class RowPrinter {
public:
    RowPrinter(const BatchRequest& request, LocalZone zone)
        : request_(request), zone_(std::move(zone)) {
        chunk_.reserve(kChunkBytes + 4096);
    }

    void add(const BatchFileRow& row) {
        if (!wanted(request_, row.file)) return;
        header();
        BatchFile file;
        file.row = std::strtoull(row.texts[0].c_str(), nullptr, 10);
        file.index = row.itemData;
        file.file = row.file;
        file.timeText = row.texts[2];
        file.sizeText = row.texts[3];
        (chunk_ += request_.json ? fileJson(file, zone_) : fileTsv(file, zone_)) += '\n';
        if (chunk_.size() >= kChunkBytes) flush();
    }

    void finish() {
        header();
        flush();
    }

private:
    static constexpr size_t kChunkBytes = 1u << 16;

    void header() {
        if (headed_) return;
        headed_ = true;
        if (!request_.json) (chunk_ += kFileHeader) += '\n';
    }

    void flush() {
        std::fwrite(chunk_.data(), 1, chunk_.size(), stdout);
        std::fflush(stdout);
        chunk_.clear();
    }

    const BatchRequest& request_;
    const LocalZone zone_;
    std::string chunk_;
    bool headed_ = false;
};

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

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
            const ssize_t n = ::write(STDOUT_FILENO, bytes, count);
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
    bool lost(uint64_t count) override {
        lost_ += count;
        return skip(count);
    }
    int error = 0;
    uint64_t lost_ = 0;

private:
    bool fail() {
        if (error == 0) error = errno != 0 ? errno : EIO;
        return false;
    }
};

int saveToStandardOutput(ScanShell& shell, BatchView& view, const DiskSource& context,
                         uint64_t index, bool force) {
    struct Told : ScanObserver {
        explicit Told(BatchView& v) : view(v) {}
        void told(const ScanMessage& message) override { view.showMessageBox(message.text); }
        BatchView& view;
    } told(view);
    SaveReport report;
    report.path = "-";
    const char* const standardOutput = "/proc/self/fd/1";
    if (isDiskPath(standardOutput, context.diskPath)) {
        report.refused = true;
        reportFailedSave(report);
        return kExitFailure;
    }
    // A file the shell opened there is a target like any other.
    if (!force && liesOnScannedDisk(standardOutput, context.diskPath)) {
        reportDeclined(report.path);
        return kExitFailure;
    }
    StandardOutputSink sink;
    const std::shared_ptr<ScannedVolume> volume = shell.currentVolume();
    if (!volume || !volume->readContent(static_cast<uint32_t>(index), sink, &told)) {
        report.error = sink.error;
        reportFailedSave(report);
        return kExitFailure;
    }
    report.lostBytes = sink.lost_;
    reportLostBytes(report);
    return report.lostBytes == 0 ? kExitSuccess : kExitFailure;
}

// The one file of `--save INDEX --output PATH`, replacing PATH only with
// --force.
int saveToPath(ScanShell& shell, BatchView& view, const BatchRequest& request, int position) {
    struct stat st {};
    if (::stat(request.output.c_str(), &st) == 0 && !request.force) {
        printError("%s 已存在；加上 --force 可替换它", request.output.c_str());
        return kExitFailure;
    }
    SaveOutcome outcome = SaveOutcome::NothingToDo;
    SaveReport report;
    view.runOnUiThread([&] {
        view.selectFileRows({position});
        view.setSavePath(request.output);
        outcome = shell.onSaveCommand();
        report = shell.lastSaveReport();
    });
    if (view.declined()) {
        reportDeclined(request.output);
        return kExitFailure;
    }
    if (outcome != SaveOutcome::Saved) {
        reportFailedSave(report);
        return kExitFailure;
    }
    reportLostBytes(report);
    return report.lostBytes == 0 ? kExitSuccess : kExitFailure;
}

// Every chosen row into the folder, each under its own name, then one
// summary line.
int saveIntoFolder(ScanShell& shell, BatchView& view, std::vector<int> positions,
                   const std::string& folder, size_t unlisted) {
    std::vector<SaveReport> reports;
    view.runOnUiThread([&] {
        view.selectFileRows(std::move(positions));
        reports = shell.saveSelectedInto(folder);
    });
    view.endProgress();
    if (view.declined()) {
        reportDeclined(folder);
        return kExitFailure;
    }
    uint64_t saved = 0, failed = unlisted, bytes = 0, lost = 0;
    for (const SaveReport& report : reports) {
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

int saveRows(ScanShell& shell, BatchView& view, const BatchRequest& request,
             const DiskSource& context) {
    std::map<uint64_t, int> positionOf;
    for (size_t i = 0; i < view.rows().size(); ++i) {
        positionOf.emplace(view.rows()[i].itemData, static_cast<int>(i));
    }
    std::vector<int> positions;
    size_t unlisted = 0;
    if (request.saveAll) {
        for (size_t i = 0; i < view.rows().size(); ++i) {
            if (wanted(request, view.rows()[i].file)) positions.push_back(static_cast<int>(i));
        }
    }
    for (const uint64_t index : request.saveIndices) {
        const auto found = positionOf.find(index);
        if (found == positionOf.end()) {
            printError("目录索引 %llu 不是分区行 %llu 中列出的已删除文件",
                       static_cast<ull>(index), static_cast<ull>(request.row));
            ++unlisted;
            continue;
        }
        positions.push_back(found->second);
    }
    const bool single = !request.saveAll && request.saveIndices.size() == 1;
    if (request.output == "-") {
        if (unlisted) return kExitFailure;
        return saveToStandardOutput(shell, view, context, request.saveIndices.front(), request.force);
    }
    // A path that ends in "/" names a folder, made when missing, as for
    // several files.
    const bool namesFolder = !request.output.empty() && request.output.back() == '/';
    if (single && !namesFolder && !isFolder(request.output)) {
        if (unlisted) return kExitFailure;
        return saveToPath(shell, view, request, positions.front());
    }
    // A folder that does not exist yet is made by the save.
    struct stat st {};
    if (::stat(request.output.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
        printError("无法保存到 %s：%s", request.output.c_str(), std::strerror(ENOTDIR));
        return kExitFailure;
    }
    return saveIntoFolder(shell, view, std::move(positions), request.output, unlisted);
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
    BatchView view(false, ::isatty(STDERR_FILENO) ? stderr : nullptr);
    std::atomic<bool> stop{false};
    SearchControl control;
    control.stopRequested = [&stop] { return stop.load(); };
    control.progress = [&view](uint64_t done, uint64_t total) {
        view.showProgress(ShellView::Work::Search, done, total);
    };
    FoundRows found;
    {
        InterruptStop interrupt([&stop] { stop = true; });
        found = findLostVolumes(context, rows, control);
    }
    view.endProgress();
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

int scanPartition(const BatchRequest& request, DiskSource context) {
    std::vector<PartitionRow> partitions;
    const PartitionTableKind kind =
        partitionRows(context, standardError(), partitions);
    // The found rows are numbered after the table's, so they are looked
    // for only when the row asked for lies past the table's.
    if (request.deep && request.row >= partitions.size() && appendFoundRows(context, partitions)) {
        printError("搜索已停止：只列出了停止前找到的分区");
        return kExitFailure;
    }
    if (request.row >= partitions.size()) {
        printError("没有分区行 %llu（磁盘有 %llu 行）", static_cast<ull>(request.row),
                   static_cast<ull>(partitions.size()));
        if (kind == PartitionTableKind::None && !request.deep) printError("%s", tr(kSearchAdvice));
        return kExitUsage;
    }
    BatchView view(request.verbose, ::isatty(STDERR_FILENO) ? stderr : nullptr);
    view.setForce(request.force);
    // A plain listing goes out while the scan runs; saves choose among the
    // rows afterwards and keep them.
    const bool saving = request.saveAll || !request.saveIndices.empty();
    RowPrinter printer(request, context.zone);
    if (!saving) view.streamRows([&printer](const BatchFileRow& row) { printer.add(row); });
    ScanShell shell(view, context);
    {
        // Ctrl-C stops the scan: the rows listed so far are printed.
        InterruptStop interrupt([&] { view.runOnUiThread([&] { shell.switchScan(false, nullptr); }); });
        view.runOnUiThread([&] {
            view.selectPartition(&partitions[request.row].record);
            shell.onScanCommand(request.deep);
        });
        shell.waitForWorkers();
    }
    view.endProgress();
    const ScanReport report = shell.lastScanReport();
    int status = kExitSuccess;
    if (report.outcome == ScanOutcome::Stopped) {
        printer.finish();
        printError("%s", tr(kScanStoppedMessage));
        status = kExitFailure;
    } else if (report.outcome != ScanOutcome::Completed) {
        printError("分区行 %llu 无法扫描", static_cast<ull>(request.row));
        status = kExitFailure;
    } else if (saving) {
        status = saveRows(shell, view, request, context);
    } else {
        printer.finish();
    }
    // What could be listed is listed, but a scan that could not read all
    // it wanted is no success.
    if (report.failedReads > 0) {
        printError("读取失败 %llu 次，第一次在字节 %llu", static_cast<ull>(report.failedReads),
                   static_cast<ull>(report.firstFailedAt));
        status = kExitFailure;
    }
    // The scanner has told why its rows may not be all (on standard error).
    if (report.incomplete > 0) status = kExitFailure;
    // The table promises more than the disk holds: what lies past its end
    // was not scanned.
    const PartitionRecord& record = partitions[request.row].record;
    if (record.reachesPastDevice()) {
        printError("分区行 %llu 超出磁盘末尾：%llu 个扇区中只有 %llu 个在磁盘上",
                   static_cast<ull>(request.row), static_cast<ull>(record.totalSectors),
                   static_cast<ull>(record.presentSectors()));
        status = kExitFailure;
    }
    return status;
}

}  // namespace undelete
