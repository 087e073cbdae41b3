// undelete: the batch command line and the entry to the terminal dialog;
// on Windows, undelete-cli.exe: the batch command line alone.
#include <CLI/CLI.hpp>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/Language.h"
#include "save/PartialFile.h"
#include "app/cli/BatchRun.h"
#include "app/cli/Usage.h"
#include "common/Text.h"
#include "disk/DriveSelection.h"
#include "partition/SectorSizeProbe.h"

#if defined(_WIN32)
#include "app/cli/win32/Console.h"
#include "app/cli/win32/DiskArgument.h"
#else
#include "disk/images/ContainerImage.h"
#endif

#if defined(UNDELETE_HAVE_TERMINAL)
#include "app/terminal/TerminalDialog.h"
#endif

namespace {

using namespace undelete;

#if !defined(_WIN32)
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
#endif

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

#if !defined(_WIN32)
// The root advice only helps a user who is not root.
void printOpenError(const std::string& disk, int error) {
    if ((error == EACCES || error == EPERM) && ::geteuid() != 0) {
        printError("%s：%s（读取磁盘需要 root 权限）", disk.c_str(),
                   systemErrorText(error).c_str());
    } else {
        printError("%s：%s", disk.c_str(), systemErrorText(error).c_str());
    }
}

// Why a disk image kept in a container format cannot be read, naming the
// format.
void printContainerRefusal(const std::string& disk, const ContainerRefusal& refusal) {
    const char* path = disk.c_str();
    const char* format = containerName(refusal.format);
    const char* detail = refusal.detail.c_str();
    switch (refusal.reason) {
    case ContainerRefusal::Reason::Encrypted:
        printError("%s：无法读取这个 %s 映像：它已加密", path, format);
        break;
    case ContainerRefusal::Reason::MissingParent:
        printError("%s：无法读取这个 %s 映像：找不到它的父映像 %s", path, format, detail);
        break;
    case ContainerRefusal::Reason::ForeignParent:
        printError("%s：无法读取这个 %s 映像：它的父映像 %s 是另一种格式", path, format, detail);
        break;
    case ContainerRefusal::Reason::Unsupported:
        printError("%s：无法读取这个 %s 映像：不支持（%s）", path, format, detail);
        break;
    case ContainerRefusal::Reason::Damaged:
        printError("%s：无法读取这个 %s 映像：它已损坏或不受支持（%s）", path, format, detail);
        break;
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
    ContainerRefusal refusal;
    if (S_ISREG(st.st_mode) && !checkContainer(disk, refusal)) {
        printContainerRefusal(disk, refusal);
        return false;
    }
    std::string why;
    if (!checkDriveAccess(disk, why)) {
        printError("%s", why.c_str());
        return false;
    }
    return true;
}
#endif

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
    // The texts are UTF-8, and so are the arguments, whatever the system's
    // code page.
    prepareConsole();
    std::vector<std::string> arguments = utf8Arguments();
    std::vector<char*> argumentPointers;
    for (std::string& argument : arguments) argumentPointers.push_back(&argument[0]);
    if (!arguments.empty()) {
        argc = static_cast<int>(arguments.size());
        argv = argumentPointers.data();
    }
    initProcessLocale();
    initLanguage(std::string());
#else
    initProcessLocale();
    initLanguage(catalogueDir());
#endif

    CLI::App app{"", "undelete"};
    // The whole help is the program's own text, in the message language.
    app.formatter_fn([](const CLI::App*, std::string, CLI::AppFormatMode) { return helpText(); });
    app.set_help_flag("-h,--help");
    app.set_version_flag("--version", "undelete " UNDELETE_VERSION);
    BatchRequest request;
    bool partitions = false;
    std::string disk, rowText, saveText, minSizeText;
    auto* listing = app.add_flag("--partitions", partitions);
    auto* scan = app.add_option("--scan", rowText);
    auto* save = app.add_option("--save", saveText);
    auto* saveAll = app.add_flag("--save-all", request.saveAll);
    auto* output = app.add_option("--output", request.output);
    auto* match = app.add_option("--match", request.match);
    auto* minSize = app.add_option("--min-size", minSizeText);
    auto* force = app.add_flag("--force", request.force);
    auto* deep = app.add_flag("--deep", request.deep);
    auto* carve = app.add_flag("--carve", request.carve);
    auto* check = app.add_flag("--check", request.check);
    app.add_flag("--json", request.json);
    app.add_flag("-v,--verbose", request.verbose);
    app.add_option("DISK", disk);

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e) == 0 ? kExitSuccess : kExitUsage;
    } catch (const CLI::ParseError& e) {
        reportParseError(app, e);
        return endWithUsageHint();
    }
    // Which options need or exclude which, told here in the program's own
    // words (the parser's would stay English).
    const std::pair<CLI::Option*, CLI::Option*> needs[] = {
        {save, scan}, {saveAll, scan}, {match, scan}, {minSize, scan}, {carve, scan},
        {check, scan},
        {save, output}, {saveAll, output}};
    for (const auto& [option, needed] : needs) {
        if (*option && !*needed) {
            printError("%s 需要 %s", option->get_name().c_str(), needed->get_name().c_str());
            return endWithUsageHint();
        }
    }
    const std::pair<CLI::Option*, CLI::Option*> excludes[] = {{saveAll, save}, {scan, listing}};
    for (const auto& [option, excluded] : excludes) {
        if (*option && *excluded) {
            printError("%s 不能与 %s 同时使用", option->get_name().c_str(),
                       excluded->get_name().c_str());
            return endWithUsageHint();
        }
    }
    if (*deep && !*scan && !partitions) {
        printError("--deep 需要 --scan 或 --partitions");
        return endWithUsageHint();
    }
    if (*output && !*save && !request.saveAll) {
        printError("--output 需要 --save 或 --save-all");
        return endWithUsageHint();
    }
    if (*force && !*save && !request.saveAll) {
        printError("--force 需要 --save 或 --save-all");
        return endWithUsageHint();
    }
    request.wholeDisk = *scan && rowText == "disk";
    if (request.wholeDisk && !request.carve) {
        printError("--scan disk 需要 --carve");
        return endWithUsageHint();
    }
    if (*scan && !request.wholeDisk && !parseCount(rowText, INT32_MAX, request.row)) {
        printError("不是非负十进制整数：%s", rowText.c_str());
        return endWithUsageHint();
    }
    if (*save && !parseIndexList(saveText, request.saveIndices)) {
        printError("不是非负十进制整数：%s", saveText.c_str());
        return endWithUsageHint();
    }
    if (!minSizeText.empty() && !parseCount(minSizeText, UINT64_MAX, request.minSize)) {
        printError("不是非负十进制整数：%s", minSizeText.c_str());
        return endWithUsageHint();
    }
    if (request.output == "-" && (request.saveAll || request.saveIndices.size() != 1)) {
        printError("--output - 只能写出一个索引");
        return endWithUsageHint();
    }

#if defined(_WIN32)
    disk = diskPathOf(disk);
    if (!checkDisk(disk)) return kExitFailure;
    DiskSource context;
    context.openDrive = diskOpener(disk, probeImageSectorSize(diskOpener(disk)));
#else
    if (disk.empty()) disk = defaultDrivePath();
    if (!checkDisk(disk)) return kExitFailure;

    DiskSource context;
    // A block device gives its own sector size; an image file is probed.
    context.openDrive = driveOpener(disk, probeImageSectorSize(driveOpener(disk)));
#endif
    context.diskPath = disk;
    if (partitions) return listPartitions(context, request.json, request.deep);
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
