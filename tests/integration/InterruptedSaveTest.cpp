// A save cut short: the program saving a large deleted file is sent
// SIGTERM or SIGKILL while it writes. No file may ever stand under the
// final name half-written.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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
    // A FAT32 disk with one deleted file of 400 MiB: its save takes long
    // enough to be caught in the middle.
    static void SetUpTestSuite() {
        workspace = new harness::TempDir();
        const std::string script =
            "set -e; export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8; cd " + quote(workspace->path()) +
            "; truncate -s 600M disk.img"
            "; printf 'label: dos\\nunit: sectors\\nstart=2048, type=c\\n'"
            " | sfdisk -q --no-reread --no-tell-kernel disk.img"
            "; mkfs.fat -F 32 -s 8 -h 2048 --offset=2048 disk.img 613376 >/dev/null"
            "; head -c 400M /dev/zero > big; mcopy -i disk.img@@1048576 big ::/BIG.BIN"
            "; mdel -i disk.img@@1048576 ::/BIG.BIN; rm big";
        made = harness::run("sh -c " + quote(script) + " >&2").status == 0;
    }
    static void TearDownTestSuite() {
        delete workspace;
        workspace = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(made) << "could not make the FAT32 image"; }

    // Starts saving the big file into `out`, sends `signal` once the save
    // has put anything there, and returns the child's wait status.
    static int saveAndInterrupt(const std::string& out, int signal) {
        const std::string image = workspace->file("disk.img"), output = out + "/big.bin";
        const pid_t child = fork();
        if (child == 0) {
            execl(UNDELETE_BINARY, UNDELETE_BINARY, "--scan", "0", "--save", "0", "--output",
                  output.c_str(), image.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (entriesOf(out).empty() && std::chrono::steady_clock::now() < limit) {
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

}  // namespace
