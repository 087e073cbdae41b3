// undelete: the batch command line and the entry to the terminal dialog.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "app/Language.h"

#include "app/ScanShell.h"
#include "app/cli/BatchView.h"
#include "common/Text.h"
#include "disk/DriveSelection.h"
#include "partition/PartitionRows.h"

#if defined(UNDELETE_HAVE_TERMINAL)
#include "app/terminal/TerminalDialog.h"
#endif

namespace {

using namespace undelete;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int fail(const std::string& text) {
    std::fprintf(stderr, "undelete: %s\n", text.c_str());
    return kExitFailure;
}

int usage(const std::string& text) {
    std::fprintf(stderr, "undelete: %s\n", text.c_str());
    return kExitUsage;
}

MessageSink standardError() {
    return [](const char* text) {
        std::fprintf(stderr, "%s\n", text);
        std::fflush(stderr);
    };
}

int printPartitions(const ShellContext& context) {
    for (int i = 0; i < kPartitionColumns; ++i) {
        std::printf("%s%s", i ? "\t" : "", kPartitionColumnHeaders[i]);
    }
    std::printf("\n");
    for (const PartitionRow& row : collectPartitionRows(context.openDrive, standardError())) {
        for (int i = 0; i < kPartitionColumns; ++i) {
            std::printf("%s%s", i ? "\t" : "", row.texts[static_cast<size_t>(i)].c_str());
        }
        std::printf("\n");
    }
    return 0;
}

bool pathExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

struct ScanRequest {
    int row = -1;
    long long saveIndex = -1;
    std::string output;
    bool force = false;
};

int scanAndSave(const ScanRequest& request, ShellContext context) {
    const bool saving = request.saveIndex >= 0;
    if (saving && pathExists(request.output) && !request.force) {
        return fail(request.output + " exists; add --force to replace it");
    }
    const std::vector<PartitionRow> partitions =
        collectPartitionRows(context.openDrive, standardError());
    if (request.row < 0 || static_cast<size_t>(request.row) >= partitions.size()) {
        return usage("no partition row " + std::to_string(request.row) + " (the disk has " +
                     std::to_string(partitions.size()) + ")");
    }

    BatchView view;
    ScanShell shell(view, std::move(context));
    view.runOnUiThread([&] {
        view.selectPartition(&partitions[static_cast<size_t>(request.row)].record);
        shell.onScanCommand();
    });
    shell.waitForWorkers();
    if (shell.lastOutcome() != ScanOutcome::Completed) {
        return fail("partition row " + std::to_string(request.row) + " could not be scanned");
    }

    if (!saving) {
        std::printf("序号\t索引\t文件名\t创建时间\t大小\n");
        for (const BatchFileRow& row : view.rows()) {
            std::printf("%s\t%llu\t%s\t%s\t%s\n", row.texts[0].c_str(),
                        static_cast<unsigned long long>(row.itemData), row.texts[1].c_str(),
                        row.texts[2].c_str(), row.texts[3].c_str());
        }
        return 0;
    }

    int position = -1;
    for (size_t i = 0; i < view.rows().size(); ++i) {
        if (view.rows()[i].itemData == static_cast<uintptr_t>(request.saveIndex)) {
            position = static_cast<int>(i);
            break;
        }
    }
    if (position < 0) {
        return fail("catalogue index " + std::to_string(request.saveIndex) +
                    " is not a listed deleted file of partition row " +
                    std::to_string(request.row));
    }
    SaveOutcome outcome = SaveOutcome::NothingToDo;
    view.runOnUiThread([&] {
        view.selectFileRow(position);
        view.setSavePath(request.output);
        outcome = shell.onSaveCommand();
    });
    return outcome == SaveOutcome::Saved ? 0 : fail("could not save to " + request.output);
}

// Catalogues beside the binary (a build tree) before the installed ones.
std::string catalogueDir() {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        std::string dir(self, static_cast<size_t>(n));
        dir = dir.substr(0, dir.rfind('/')) + "/locale";
        if (pathExists(dir + "/en/LC_MESSAGES/undelete.mo")) return dir;
    }
    return UNDELETE_LOCALEDIR;
}

}  // namespace

int main(int argc, char** argv) {
    initProcessLocale();
    initLanguage(catalogueDir());

    CLI::App app{"Lists the partitions of a disk, finds deleted files on its FAT32 and NTFS "
                 "partitions and saves them. The disk is only ever read.",
                 "undelete"};
    bool partitions = false;
    ScanRequest request;
    std::string disk;
    app.add_flag("--partitions", partitions, "Print the partition rows of DISK and exit");
    auto* scan = app.add_option("--scan", request.row, "Scan partition row ROW")
                     ->option_text("ROW")
                     ->check(CLI::NonNegativeNumber);
    auto* save = app.add_option("--save", request.saveIndex,
                                "Save the deleted file with catalogue index INDEX")
                     ->option_text("INDEX")
                     ->check(CLI::NonNegativeNumber)
                     ->needs(scan);
    auto* output = app.add_option("--output", request.output, "Where --save writes")
                       ->option_text("PATH")
                       ->needs(save);
    save->needs(output);
    app.add_flag("--force", request.force, "Let --save replace an existing file")->needs(save);
    app.add_option("DISK", disk,
                   "Disk device or whole-disk image file (default: the first disk)");
    scan->excludes(app.get_option("--partitions"));

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kExitUsage;
    }

    if (disk.empty()) disk = defaultDrivePath();
    std::string why;
    if (!checkDriveAccess(disk, why)) return fail(why);

    ShellContext context;
    context.openDrive = driveOpener(disk);
    context.diskPath = disk;
    if (partitions) return printPartitions(context);
    if (*scan) return scanAndSave(request, std::move(context));
#if defined(UNDELETE_HAVE_TERMINAL)
    return runTerminalDialog(std::move(context));
#else
    return usage("this build has no terminal dialog; use --partitions or --scan");
#endif
}
