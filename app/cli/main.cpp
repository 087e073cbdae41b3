// undelete: the batch command line and the entry to the terminal dialog.
#include <CLI/CLI.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/Language.h"
#include "save/PartialFile.h"
#include "app/cli/BatchRun.h"
#include "common/Text.h"
#include "disk/DriveSelection.h"
#include "partition/SectorSizeProbe.h"

#if defined(UNDELETE_HAVE_TERMINAL)
#include "app/terminal/TerminalDialog.h"
#endif

namespace {

using namespace undelete;

const char kFooter[] = R"(Output (standard output; one line per row, fields escaped so that a row
is always one line and no control byte reaches the terminal: \t \n \r \\
and \xNN for other control bytes and bytes that are not UTF-8):
  --partitions   row filesystem type start_cylinder start_head start_sector
                 end_cylinder end_head end_sector capacity active start
                 sectors bytes sector_size (start and sectors in the
                 disk's sectors of sector_size bytes; bytes exact)
  --scan ROW     row index name time size bytes created path state
                 (time and size as the dialog shows them; bytes exact;
                 created in ISO 8601 UTC, a FAT32 local time moved to UTC
                 by the zone offset of its own date; path empty and state
                 "unknown" when the file system does not tell)
  --json         the same as JSON Lines, one object per row; bytes that are
                 not UTF-8 become U+FFFD.
Messages and errors go to standard error in the locale's message language;
progress only when standard error is a terminal.

Exit status: 0 success; 1 failure (also a scan during which reads of the
disk failed, and a save with unreadable bytes, written as zeros); 2 usage.

The disk is opened read-only and never written; a file is never saved onto
the disk being read, nor (without --force) into a file system on it. A saved
file appears under its name only when whole: it is written as
.NAME.undelete-partial beside it first, which an interrupted save removes
(a killed one leaves it).)";

// Catalogues beside the binary (a build tree) before the installed ones.
std::string catalogueDir() {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        std::string dir(self, static_cast<size_t>(n));
        dir = dir.substr(0, dir.rfind('/')) + "/locale";
        struct stat st {};
        if (::stat((dir + "/en/LC_MESSAGES/undelete.mo").c_str(), &st) == 0) return dir;
    }
    return UNDELETE_LOCALEDIR;
}

// A non-negative decimal integer that fits `max`; nothing else ("-1",
// "0x10", "1e3", " 5" are refused).
bool parseCount(const std::string& text, uint64_t max, uint64_t& value) {
    if (text.empty() || text.size() > 20) return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        const auto digit = static_cast<uint64_t>(c - '0');
        if (value > (max - digit) / 10) return false;
        value = value * 10 + digit;
    }
    return true;
}

bool parseIndexList(const std::string& text, std::vector<uint64_t>& indices) {
    size_t at = 0;
    for (;;) {
        const size_t comma = text.find(',', at);
        uint64_t value = 0;
        if (!parseCount(text.substr(at, comma - at), UINT32_MAX, value)) return false;
        indices.push_back(value);
        if (comma == std::string::npos) return true;
        at = comma + 1;
    }
}

// The root advice only helps a user who is not root.
void printOpenError(const std::string& disk, int error) {
    if ((error == EACCES || error == EPERM) && ::geteuid() != 0) {
        printError("%s：%s（读取磁盘需要 root 权限）", disk.c_str(), std::strerror(error));
    } else {
        printError("%s：%s", disk.c_str(), std::strerror(error));
    }
}

// The disk must be something that can be read as one: a FIFO would hang
// the first read, a folder or character device has no sectors.
bool checkDisk(const std::string& disk) {
    if (disk.empty()) {
        printError("没有找到磁盘：请指定磁盘或磁盘映像文件");
        return false;
    }
    struct stat st {};
    if (::stat(disk.c_str(), &st) != 0) {
        printOpenError(disk, errno);
        return false;
    }
    if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) {
        printError("%s：不是磁盘或磁盘映像文件", disk.c_str());
        return false;
    }
    const int fd = ::open(disk.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        printOpenError(disk, errno);
        return false;
    }
    ::close(fd);
    std::string why;
    if (!checkDriveAccess(disk, why)) {
        printError("%s", why.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    initProcessLocale();
    initLanguage(catalogueDir());

    CLI::App app{"Lists the partitions of a disk, finds deleted files on its FAT32 and NTFS "
                 "partitions and saves them. The disk is only ever read. Without --partitions "
                 "or --scan it opens the terminal dialog.",
                 "undelete"};
    app.footer(kFooter);
    app.set_version_flag("--version", "undelete " UNDELETE_VERSION);
    BatchRequest request;
    bool partitions = false;
    std::string disk, rowText, saveText, minSizeText;
    app.add_flag("--partitions", partitions, "Print the partition rows of DISK");
    auto* scan = app.add_option("--scan", rowText, "Scan partition row ROW and print its "
                                "deleted files")->option_text("ROW");
    auto* save = app.add_option("--save", saveText, "Save the deleted files with these catalogue "
                                "indices (the index column)")
                     ->option_text("INDEX[,INDEX...]")
                     ->needs(scan);
    auto* saveAll = app.add_flag("--save-all", request.saveAll,
                                 "Save every listed deleted file (after --match, --min-size)")
                        ->needs(scan)
                        ->excludes(save);
    auto* output = app.add_option("--output", request.output,
                                  "Where to save: a folder (each file under its own name and "
                                  "folder path, never replacing a file: \" (1)\" is added; a "
                                  "path ending in / is one, made when missing), a file path "
                                  "for a single INDEX, or - for standard output")
                       ->option_text("PATH");
    save->needs(output);
    saveAll->needs(output);
    app.add_option("--match", request.match, "Only names matching this shell pattern")
        ->option_text("GLOB")->needs(scan);
    app.add_option("--min-size", minSizeText, "Only files of at least this many bytes")
        ->option_text("BYTES")->needs(scan);
    auto* force = app.add_flag("--force", request.force,
                               "Let --save INDEX --output PATH replace a file, and let a save "
                               "write onto the disk being recovered");
    app.add_flag("--deep", request.deep, "Deeper scan: also read a FAT volume's free clusters for "
                 "the entries of deleted folders (listed under /$Orphan/)")
        ->needs(scan);
    app.add_flag("--json", request.json, "Print JSON Lines instead of tab-separated rows");
    app.add_flag("-v,--verbose", request.verbose, "Also print informational messages");
    app.add_option("DISK", disk, "Disk device or whole-disk image file (default: the first "
                   "disk)");
    scan->excludes(app.get_option("--partitions"));

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? kExitSuccess : kExitUsage;
    }
    if (*output && !*save && !request.saveAll) {
        printError("--output 需要 --save 或 --save-all");
        return kExitUsage;
    }
    if (*force && !*save && !request.saveAll) {
        printError("--force 需要 --save 或 --save-all");
        return kExitUsage;
    }
    if (*scan && !parseCount(rowText, INT32_MAX, request.row)) {
        printError("不是非负十进制整数：%s", rowText.c_str());
        return kExitUsage;
    }
    if (*save && !parseIndexList(saveText, request.saveIndices)) {
        printError("不是非负十进制整数：%s", saveText.c_str());
        return kExitUsage;
    }
    if (!minSizeText.empty() && !parseCount(minSizeText, UINT64_MAX, request.minSize)) {
        printError("不是非负十进制整数：%s", minSizeText.c_str());
        return kExitUsage;
    }
    if (request.output == "-" && (request.saveAll || request.saveIndices.size() != 1)) {
        printError("--output - 只能写出一个索引");
        return kExitUsage;
    }

    if (disk.empty()) disk = defaultDrivePath();
    if (!checkDisk(disk)) return kExitFailure;

    ShellContext context;
    // A block device gives its own sector size; an image file is probed.
    context.openDrive = driveOpener(disk, probeImageSectorSize(driveOpener(disk)));
    context.diskPath = disk;
    if (partitions) return listPartitions(context, request.json);
    if (*scan) {
        // A save interrupted by a signal leaves no partial file behind.
        removePartialFileOnSignals();
        return scanPartition(request, std::move(context));
    }
#if defined(UNDELETE_HAVE_TERMINAL)
    return runTerminalDialog(std::move(context));
#else
    printError("这个版本没有终端对话框；请使用 --partitions 或 --scan");
    return kExitUsage;
#endif
}
