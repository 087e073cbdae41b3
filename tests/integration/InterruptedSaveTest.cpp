// A save cut short: the program saving a large deleted file is sent
// SIGTERM or SIGKILL while it writes. No file may ever stand under the
// final name half-written.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "Harness.h"

using harness::quote;

namespace {

std::vector<std::string> entriesOf(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
    }
    return names;
}

class InterruptedSave : public ::testing::Test {
protected:
    // A FAT32 disk with one deleted file of 400 MiB (index 0): its save
    // takes long enough to be caught in the middle; and three small ones.
    static void SetUpTestSuite() {
        workspace = new harness::TempDir();
        const std::string script =
            "set -e; export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8; cd " + quote(workspace->path()) +
            "; truncate -s 600M disk.img"
            "; printf 'label: dos\\nunit: sectors\\nstart=2048, type=c\\n'"
            " | sfdisk -q --no-reread --no-tell-kernel disk.img"
            "; mkfs.fat -F 32 -s 8 -h 2048 --offset=2048 disk.img 613376 >/dev/null"
            "; head -c 400M /dev/zero > big; mcopy -i disk.img@@1048576 big ::/BIG.BIN"
            "; for n in 1 2 3; do echo small $n > s; mcopy -i disk.img@@1048576 s ::/SMALL$n.TXT; done"
            "; mdel -i disk.img@@1048576 ::/BIG.BIN '::/SMALL*.TXT'; rm big s";
        made = harness::run("sh -c " + quote(script) + " >&2").status == 0;
    }
    static void TearDownTestSuite() {
        delete workspace;
        workspace = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(made) << "could not make the FAT32 image"; }

    // Starts saving the big file into `out` (after the small ones, into
    // the folder, when `several`), sends `signal` once the big file's
    // temporary file is there, and returns the child's wait status.
    static int saveAndInterrupt(const std::string& out, int signal, bool several = false) {
        const std::string image = workspace->file("disk.img");
        const std::string output = several ? out + "/" : out + "/big.bin";
        const pid_t child = fork();
        if (child == 0) {
            if (several) {
                execl(UNDELETE_BINARY, UNDELETE_BINARY, "--scan", "0", "--save", "1,2,3,0",
                      "--output", output.c_str(), image.c_str(), static_cast<char*>(nullptr));
            } else {
                execl(UNDELETE_BINARY, UNDELETE_BINARY, "--scan", "0", "--save", "0", "--output",
                      output.c_str(), image.c_str(), static_cast<char*>(nullptr));
            }
            _exit(127);
        }
        const auto bigStarted = [&out] {
            for (const std::string& name : entriesOf(out)) {
                if (name.find("IG.BIN.undelete-partial") != std::string::npos ||
                    name == ".big.bin.undelete-partial") {
                    return true;
                }
            }
            return false;
        };
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!bigStarted() && std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        kill(child, signal);
        int status = 0;
        waitpid(child, &status, 0);
        return status;
    }

    static inline harness::TempDir* workspace = nullptr;
    static inline bool made = false;
};

TEST_F(InterruptedSave, SigtermLeavesNothingAndSigkillOnlyTheMarkedTemporaryFile) {
    const std::string out = workspace->file("term");
    ASSERT_EQ(harness::run("mkdir " + quote(out)).status, 0);
    const int status = saveAndInterrupt(out, SIGTERM);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "the save was not cut short";
    EXPECT_EQ(entriesOf(out), std::vector<std::string>{}) << "left behind after SIGTERM";

    const std::string killed = workspace->file("kill");
    ASSERT_EQ(harness::run("mkdir " + quote(killed)).status, 0);
    const int killedStatus = saveAndInterrupt(killed, SIGKILL);
    EXPECT_TRUE(WIFSIGNALED(killedStatus)) << "the save was not cut short";
    EXPECT_EQ(entriesOf(killed), std::vector<std::string>{".big.bin.undelete-partial"});
}

// The small files written before the big one keep their names when the
// big one's save is cut; nothing half-written stays.
TEST_F(InterruptedSave, FilesSavedBeforeALargeOneStaySavedWhenItIsCut) {
    const std::string out = workspace->file("several");
    const int status = saveAndInterrupt(out, SIGTERM, true);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "the save was not cut short";
    std::vector<std::string> left = entriesOf(out);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"#MALL1.TXT", "#MALL2.TXT", "#MALL3.TXT"}));
    EXPECT_EQ(harness::readFile(out + "/#MALL2.TXT"), "small 2\n");
}

}  // namespace
