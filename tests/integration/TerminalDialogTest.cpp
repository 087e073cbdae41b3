// The dialog on a terminal, end to end: the built program runs in tmux on
// disk images made at test time; keys go in with send-keys and the screen
// comes back with capture-pane.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Harness.h"

namespace {

using harness::quote;

const std::string kRepository = std::string(FIXTURE_DIR) + "/../..";

// One program in a tmux server of its own (a private socket), killed at the
// end of the test.
class TmuxSession {
public:
    // `socket` is a path in the test's own folder, so nothing is left behind.
    explicit TmuxSession(const std::string& socket) : socket_(socket) {}
    ~TmuxSession() { end(); }
    void end() { tmux("kill-server 2>/dev/null"); }

    // Starts `command` in a terminal of `columns` × `rows`.
    bool start(const std::string& command, int columns, int rows) {
        return tmux("-f /dev/null new-session -d -x " + std::to_string(columns) + " -y " +
                    std::to_string(rows) + " -s dialog " + quote(command))
                   .status == 0;
    }

    std::string screen() { return tmux("capture-pane -p -t dialog 2>/dev/null").out; }

    void keys(const std::string& names) { tmux("send-keys -t dialog " + names); }
    void resize(int columns, int rows) {
        tmux("resize-window -t dialog -x " + std::to_string(columns) + " -y " +
             std::to_string(rows));
    }
    void type(const std::string& text) { tmux("send-keys -t dialog -l " + quote(text)); }

    // A click of the first button at a cell (0-based), as a terminal in the
    // X10 mouse mode reports it: press, then release. Cells up to 94 only,
    // so every byte stays ASCII.
    void click(int column, int row) {
        const auto report = [&](int button) {
            return std::string("\x1B[M") + static_cast<char>(32 + button) +
                   static_cast<char>(33 + column) + static_cast<char>(33 + row);
        };
        type(report(0));
        type(report(3));
    }

    // Polls the screen until `test` holds (true) or `seconds` pass (false).
    bool waitFor(const std::function<bool(const std::string&)>& test, int seconds = 20) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        for (;;) {
            last_ = screen();
            if (test(last_)) return true;
            if (std::chrono::steady_clock::now() > limit) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    bool waitForText(const std::string& text, int seconds = 20) {
        return waitFor([&](const std::string& s) { return s.find(text) != std::string::npos; },
                       seconds);
    }

    // The screen as last read by waitFor, for failure messages.
    const std::string& last() const { return last_; }

    // Dismisses the message boxes that come up (one Enter each, after the
    // box is on screen) until `done` holds.
    bool dismissMessagesUntil(const std::function<bool(const std::string&)>& done,
                              int seconds = 30) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < limit) {
            last_ = screen();
            if (last_.find("[ 确定 ]") != std::string::npos) {
                const std::string withBox = last_;
                keys("Enter");
                // Wait for this box to go before looking again, so one box
                // never takes two presses.
                if (!waitFor([&](const std::string& s) { return s != withBox; }, 10)) return false;
                continue;
            }
            if (done(last_)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

private:
    harness::Result tmux(const std::string& arguments) {
        return harness::run("LC_ALL=C.UTF-8 tmux -S " + quote(socket_) + " " + arguments);
    }

    std::string socket_;
    std::string last_;
};

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The number after `label` on the screen, or −1.
long counterAfter(const std::string& screen, const std::string& label) {
    const size_t at = screen.find(label);
    if (at == std::string::npos) return -1;
    size_t i = at + label.size();
    while (i < screen.size() && screen[i] == ' ') ++i;
    long value = -1;
    for (; i < screen.size() && screen[i] >= '0' && screen[i] <= '9'; ++i) {
        value = (value < 0 ? 0 : value * 10) + (screen[i] - '0');
    }
    return value;
}

long scannedCount(const std::string& screen) {
    return counterAfter(screen, "已扫描 ");
}
long deletedCount(const std::string& screen) {
    return counterAfter(screen, "，找到 ");
}

// The row number shown in the first column of the list line holding `name`.
int rowNumberOf(const std::string& screen, const std::string& name) {
    for (const std::string& line : harness::split(screen, '\n')) {
        if (!contains(line, name)) continue;
        const std::string grid = "\xE2\x94\x82";  // │
        const size_t start = line.find(grid);
        if (start == std::string::npos) continue;
        return static_cast<int>(counterAfter(line.substr(start), grid));
    }
    return -1;
}

// The screen line where the focused list's (double) frame starts, or −1.
int focusedFrameRow(const std::string& screen) {
    const std::vector<std::string> lines = harness::split(screen, '\n');
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind("\xE2\x95\x94", 0) == 0) return static_cast<int>(i);  // ╔
    }
    return -1;
}

// The English text of a program text as the catalogue gives it: the msgstr
// of `msgid` in po/en*.po, or the text itself while there is no catalogue
// (or no translation in it), which is what tr() then shows.
std::string englishOf(const std::string& msgid) {
    const harness::Result files =
        harness::run("ls " + quote(kRepository) + "/po/en*.po 2>/dev/null");
    for (const std::string& file : harness::split(files.out, '\n')) {
        const std::vector<std::string> lines = harness::split(harness::readFile(file), '\n');
        for (size_t i = 0; i + 1 < lines.size(); ++i) {
            if (lines[i] != "msgid \"" + msgid + "\"") continue;
            const std::string& line = lines[i + 1];
            const std::string prefix = "msgstr \"";
            if (line.rfind(prefix, 0) != 0 || line.size() < prefix.size() + 2) break;
            return line.substr(prefix.size(), line.size() - prefix.size() - 1);
        }
    }
    return msgid;
}

// The screen line holding `text`, or −1.
int lineOf(const std::string& screen, const std::string& text) {
    const std::vector<std::string> lines = harness::split(screen, '\n');
    for (size_t i = 0; i < lines.size(); ++i) {
        if (contains(lines[i], text)) return static_cast<int>(i);
    }
    return -1;
}

// The screen line holding `text`, or "".
std::string lineWith(const std::string& screen, const std::string& text) {
    const int line = lineOf(screen, text);
    return line < 0 ? std::string() : harness::split(screen, '\n')[static_cast<size_t>(line)];
}

bool scanIdle(const std::string& screen) {
    return contains(screen, "[ 扫描 ]");
}

class TerminalDialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!harness::haveTool("tmux")) return;
        workspace_ = new harness::TempDir();
        demoImage_ = workspace_->file("demo.img");
        const harness::Result made = harness::run(
            quote(kRepository + "/scripts/make-demo-image.sh") + " " + quote(demoImage_) + " >&2");
        demoMade_ = made.status == 0;
    }
    static void TearDownTestSuite() {
        delete workspace_;
        workspace_ = nullptr;
    }

    void SetUp() override {
        if (!harness::haveTool("tmux"))
            GTEST_SKIP() << "tmux is not installed (scripts/setup test installs it)";
        ASSERT_TRUE(demoMade_) << "scripts/make-demo-image.sh failed";
    }

    // Runs the program on `image` in tmux; its exit status goes to a file.
    // The texts these tests look for are the Chinese ones, so the message
    // language is Chinese unless `language` says otherwise.
    void open(const std::string& image, int columns = 160, int rows = 50,
              const std::string& environment = "", const std::string& language = kChinese) {
        status_ = dir_.file("status");
        const std::string command = "env -u LANGUAGE -u LC_ALL -u LC_MESSAGES " + language + " " +
                                    environment + " " + quote(UNDELETE_BINARY) + " " +
                                    quote(image) + "; echo $? > " + quote(status_);
        ASSERT_TRUE(tmux_.start("sh -c " + quote(command), columns, rows));
        // A partition row is data, the same in every language.
        ASSERT_TRUE(tmux_.waitForText("FAT32")) << tmux_.last();
    }
    static constexpr const char* kChinese = "LANG=zh_CN.UTF-8";

    // The exit status once the program has ended, or −1 after a wait.
    int exitStatus(int seconds = 10) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < limit) {
            const std::string text = harness::readFile(status_);
            if (!text.empty()) return std::stoi(text);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }
    bool exited() { return !harness::readFile(status_).empty(); }

    // Selects partition row `row` (the list starts with none selected) and
    // presses "扫描" through Shift-Tab.
    void scanRow(int row) {
        tmux_.keys("Home");
        for (int i = 0; i < row; ++i) tmux_.keys("Down");
        tmux_.keys("BTab Enter");
    }

    // With the focus on "扫描": moves to the file list, selects the row of
    // `name` and opens the save prompt.
    void openSavePrompt(const std::string& name) {
        const int row = rowNumberOf(tmux_.screen(), name);
        ASSERT_GE(row, 0) << name << " is not listed:\n" << tmux_.screen();
        tmux_.keys("BTab Home");
        for (int i = 0; i < row; ++i) tmux_.keys("Down");
        tmux_.keys("BTab Enter");
        ASSERT_TRUE(waitForSavePrompt()) << tmux_.last();
    }

    // The prompt is drawn top to bottom and tmux may be read half-way, so
    // wait for its last line as well as its title.
    bool waitForSavePrompt() {
        return tmux_.waitFor(
            [](const std::string& s) { return contains(s, "另存为") && contains(s, "[ 取消 ]"); });
    }

    // Types `path` into the open prompt and presses Enter.
    void enterPath(const std::string& path) {
        tmux_.keys("C-u");
        tmux_.type(path);
        tmux_.keys("Enter");
    }

    static std::string original(const std::string& relative) {
        return harness::readFile(demoImage_ + ".files/" + relative);
    }

    static harness::TempDir* workspace_;
    static std::string demoImage_;
    static bool demoMade_;

    harness::TempDir dir_;
    TmuxSession tmux_{dir_.file("tmux.sock")};
    std::string status_;
};

harness::TempDir* TerminalDialogTest::workspace_ = nullptr;
std::string TerminalDialogTest::demoImage_;
bool TerminalDialogTest::demoMade_ = false;

TEST_F(TerminalDialogTest, ShowsThePartitionsAndClosesOnlyOnF10) {
    open(demoImage_);
    ASSERT_TRUE(tmux_.waitFor([](const std::string& s) {
        return contains(s, "FAT32(活动)") && contains(s, "NTFS") && contains(s, "UNKNOWN");
    })) << tmux_.last();
    const std::string screen = tmux_.last();
    for (const char* header : {"序号", "文件系统", "标识", "起始柱面", "终止柱面", "容量", "文件名",
                               "创建时间", "大小", "个已删除文件", "[ 扫描 ]", "[ 保存 ]"}) {
        EXPECT_TRUE(contains(screen, header)) << header;
    }
    EXPECT_EQ(scannedCount(screen), 0);
    EXPECT_EQ(deletedCount(screen), 0);
    EXPECT_TRUE(contains(screen, " 1/5 ")) << "the first partition row is selected at the start";
    EXPECT_EQ(focusedFrameRow(screen), 1) << "the partition list has the focus at the start";

    // Tab order: "保存" (which, with nothing listed, says why it saves
    // nothing), then the file list (whose frame is drawn double).
    tmux_.keys("Tab Enter");
    ASSERT_TRUE(tmux_.waitForText("没有可保存的文件")) << tmux_.last();
    tmux_.keys("Tab");
    ASSERT_TRUE(tmux_.waitFor([](const std::string& s) { return focusedFrameRow(s) > 1; }))
        << tmux_.last();
    tmux_.keys("BTab BTab");
    ASSERT_TRUE(tmux_.waitFor([](const std::string& s) { return focusedFrameRow(s) == 1; }))
        << tmux_.last();

    // Too small a terminal is told so; the dialog comes back when it grows.
    tmux_.resize(50, 12);
    ASSERT_TRUE(tmux_.waitForText("终端窗口太小")) << tmux_.last();
    EXPECT_FALSE(contains(tmux_.last(), "文件系统"));
    tmux_.resize(160, 50);
    ASSERT_TRUE(tmux_.waitForText("文件系统")) << tmux_.last();

    // Escape does nothing; the Down after it shows the program went on.
    tmux_.keys("Escape");
    tmux_.keys("Down");
    ASSERT_TRUE(tmux_.waitForText(" 2/5 ")) << tmux_.last();
    EXPECT_FALSE(exited());
    tmux_.keys("F10");
    EXPECT_EQ(exitStatus(), 0);
}

TEST_F(TerminalDialogTest, ScansFat32AndSavesADeletedFileEqualToItsOriginal) {
    open(demoImage_, 160, 50, "HOME=" + quote(dir_.path()));
    scanRow(0);
    // The scanner's two messages go to the status line: no box to answer.
    ASSERT_TRUE(tmux_.waitFor([](const std::string& s) {
        return scanIdle(s) && contains(s, "报告.txt") && contains(s, "Budget-2024.csv") &&
               contains(s, "初始化已经成功完成");
    })) << tmux_.last();
    const std::string screen = tmux_.last();
    EXPECT_FALSE(contains(screen, "[ 确定 ]")) << screen;
    for (const char* name : {"报告.txt", "照片说明.txt", "Meeting Notes.txt", "Budget-2024.csv"}) {
        EXPECT_TRUE(contains(screen, name)) << name;
    }
    EXPECT_FALSE(contains(screen, "readme.txt")) << "a file that was not deleted is listed";
    EXPECT_EQ(deletedCount(screen), 4) << screen;
    EXPECT_GE(scannedCount(screen), 4) << screen;

    // The prompt starts in the home folder, with no type filter; a name
    // typed without an extension gets ".txt", a relative one lands in the
    // folder shown.
    openSavePrompt("报告.txt");
    EXPECT_TRUE(contains(lineWith(tmux_.last(), "文件夹:"), dir_.path())) << tmux_.last();
    EXPECT_FALSE(contains(tmux_.last(), "*.txt")) << tmux_.last();
    enterPath("report");
    ASSERT_TRUE(tmux_.waitFor([](const std::string& s) { return !contains(s, "另存为"); }))
        << tmux_.last();
    EXPECT_EQ(harness::readFile(dir_.file("report.txt")), original("fat32/报告.txt"));

    // A folder that does not exist keeps the prompt open and writes nothing.
    tmux_.keys("Enter");  // "保存" still has the focus
    ASSERT_TRUE(waitForSavePrompt()) << tmux_.last();
    enterPath(dir_.file("missing/x.txt"));
    ASSERT_TRUE(tmux_.waitForText("不存在")) << tmux_.last();
    EXPECT_TRUE(contains(tmux_.last(), "另存为"));

    // An existing file is replaced only after a yes.
    enterPath(dir_.file("report.txt"));
    ASSERT_TRUE(tmux_.waitForText("已存在")) << tmux_.last();
    tmux_.keys("n");
    ASSERT_TRUE(tmux_.waitFor([](const std::string& s) { return !contains(s, "已存在"); }))
        << tmux_.last();
    tmux_.keys("Escape");  // cancels the prompt
    ASSERT_TRUE(tmux_.waitFor([](const std::string& s) { return !contains(s, "另存为"); }))
        << tmux_.last();
    EXPECT_EQ(harness::readFile(dir_.file("report.txt")), original("fat32/报告.txt"));

    // A write that fails is reported in a box shown by the screen thread
    // itself; Enter dismisses it.
    tmux_.keys("Enter");
    ASSERT_TRUE(waitForSavePrompt()) << tmux_.last();
    enterPath("/proc/undelete-cannot-write-here");
    ASSERT_TRUE(tmux_.waitForText("保存失败")) << tmux_.last();
    tmux_.keys("Enter");
    ASSERT_TRUE(tmux_.waitFor([](const std::string& s) { return !contains(s, "保存失败"); }))
        << tmux_.last();

    // Escape did not close the dialog either.
    EXPECT_FALSE(exited());
    tmux_.keys("F10");
    EXPECT_EQ(exitStatus(), 0);
}

TEST_F(TerminalDialogTest, ScansNtfsAndSavesAFileKeptOutsideItsRecord) {
    open(demoImage_);
    scanRow(1);
    ASSERT_TRUE(tmux_.dismissMessagesUntil([](const std::string& s) {
        return scanIdle(s) && contains(s, "日志.log");
    })) << tmux_.last();
    const std::string screen = tmux_.last();
    for (const char* name : {"说明.txt", "Report-2024.txt", "日志.log"}) {
        EXPECT_TRUE(contains(screen, name)) << name;
    }
    EXPECT_FALSE(contains(screen, "keep.txt"));
    EXPECT_EQ(deletedCount(screen), 3) << screen;

    openSavePrompt("日志.log");
    enterPath(dir_.file("log.log"));
    ASSERT_TRUE(tmux_.waitFor([](const std::string& s) { return !contains(s, "另存为"); }))
        << tmux_.last();
    const std::string saved = harness::readFile(dir_.file("log.log"));
    EXPECT_EQ(saved.size(), original("ntfs/日志.log").size());
    EXPECT_EQ(saved, original("ntfs/日志.log"));
    tmux_.keys("F10");
    EXPECT_EQ(exitStatus(), 0);
}

TEST_F(TerminalDialogTest, MouseClicksSelectRowsAndPressButtons) {
    // 100 × 30: the buttons end at cell 98, "扫描" starts at 81; the
    // partition rows start on line 3 (hints, frame, header above).
    open(demoImage_, 100, 30, "TERM=screen");
    tmux_.click(10, 4);  // the second partition row: NTFS
    ASSERT_TRUE(tmux_.waitForText(" 2/5 ")) << tmux_.last();
    tmux_.click(83, 29);  // "扫描"
    ASSERT_TRUE(tmux_.dismissMessagesUntil([](const std::string& s) {
        return scanIdle(s) && contains(s, "日志.log");
    })) << tmux_.last();
    const int row = rowNumberOf(tmux_.last(), "日志.log");
    ASSERT_GE(row, 0);
    int line = -1;
    const std::vector<std::string> lines = harness::split(tmux_.last(), '\n');
    for (size_t i = 0; i < lines.size(); ++i) {
        if (contains(lines[i], "日志.log")) line = static_cast<int>(i);
    }
    tmux_.click(20, line);
    ASSERT_TRUE(tmux_.waitForText(" " + std::to_string(row + 1) + "/3 ")) << tmux_.last();
    tmux_.click(93, 29);  // "保存"
    ASSERT_TRUE(waitForSavePrompt()) << tmux_.last();
    enterPath(dir_.file("clicked"));
    ASSERT_TRUE(tmux_.waitFor([](const std::string& s) { return !contains(s, "另存为"); }))
        << tmux_.last();
    EXPECT_EQ(harness::readFile(dir_.file("clicked.txt")), original("ntfs/日志.log"));
    tmux_.keys("F10");
    EXPECT_EQ(exitStatus(), 0);
}

// The demo disk as a file on an NTFS volume that the ntfs-3g driver
// serves (root and FUSE): while the driver is held (SIGSTOP), every read of
// the disk that the page cache does not answer waits, so a scan started
// then is certainly still running when the test acts on it.
class HeldDisk {
public:
    HeldDisk(const std::string& image, const harness::TempDir& dir)
        : part_(dir.file("host.part")), folder_(dir.file("host")) {
        const bool made =
            harness::run("truncate -s 512M " + quote(part_) + " && mkntfs -q -Q -F " +
                         quote(part_) + " >/dev/null 2>&1 && mkdir -p " + quote(folder_))
                .status == 0;
        // Copied in, then mounted afresh: nothing of it is cached.
        ready_ = made && mount() &&
                 harness::run("cp --sparse=always " + quote(image) + " " + quote(path())).status ==
                     0 &&
                 unmount() && mount();
    }
    ~HeldDisk() { unmount(); }
    HeldDisk(const HeldDisk&) = delete;
    HeldDisk& operator=(const HeldDisk&) = delete;

    bool ready() const { return ready_; }
    std::string path() const { return folder_ + "/disk.img"; }
    void hold() { harness::run("kill -STOP " + pid_); }
    void resume() { harness::run("kill -CONT " + pid_); }

private:
    bool mount() {
        pid_ = harness::run("ntfs-3g -o no_detach " + quote(part_) + " " + quote(folder_) +
                            " >/dev/null 2>&1 & echo $!")
                   .out;
        pid_.erase(pid_.find_last_not_of('\n') + 1);
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (harness::run("mountpoint -q " + quote(folder_)).status != 0) {
            if (std::chrono::steady_clock::now() > limit) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }
    bool unmount() {
        if (pid_.empty()) return true;
        resume();
        const bool done = harness::run("umount " + quote(folder_)).status == 0;
        // The driver ends once unmounted; it is a child of no one here.
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (access(("/proc/" + pid_).c_str(), F_OK) == 0 &&
               std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        pid_.clear();
        return done;
    }

    std::string part_, folder_, pid_;
    bool ready_ = false;
};

TEST_F(TerminalDialogTest, StopReturnsTheCaptionToScanAndCloseEndsARunningScan) {
    if (geteuid() != 0 || access("/dev/fuse", F_OK) != 0 || !harness::haveTool("ntfs-3g"))
        GTEST_SKIP() << "needs root, /dev/fuse and ntfs-3g (to hold the disk's reads)";
    HeldDisk disk(demoImage_, dir_);
    ASSERT_TRUE(disk.ready()) << "could not serve the demo disk through ntfs-3g";
    open(disk.path());
    ASSERT_TRUE(tmux_.waitForText("UNKNOWN")) << tmux_.last();

    // The FAT32 scan waits for the disk; Stop while it does.
    disk.hold();
    tmux_.keys("BTab Enter");
    ASSERT_TRUE(tmux_.waitForText("[ 停止 ]")) << tmux_.last();
    tmux_.keys("Enter");
    ASSERT_TRUE(tmux_.waitFor(scanIdle)) << tmux_.last();
    disk.resume();
    // The worker goes on from its read, sees the stop and says so; the
    // list holds at most what it had found, never all four files.
    ASSERT_TRUE(tmux_.waitForText("扫描已停止：只列出了停止前找到的文件")) << tmux_.last();
    const std::string stopped = tmux_.last();
    EXPECT_TRUE(scanIdle(stopped));
    EXPECT_LT(deletedCount(stopped), 4) << stopped;
    tmux_.keys("Enter");
    ASSERT_TRUE(tmux_.waitFor([](const std::string& s) { return !contains(s, "扫描已停止"); }))
        << tmux_.last();
    EXPECT_EQ(deletedCount(tmux_.last()), deletedCount(stopped)) << tmux_.last();

    // A scan of the FAT16 card waits in its turn; F10 ends the program at
    // once all the same, as a normal close.
    disk.hold();
    tmux_.keys("Tab Down Down Enter");
    ASSERT_TRUE(tmux_.waitForText("[ 停止 ]")) << tmux_.last();
    tmux_.keys("F10");
    EXPECT_EQ(exitStatus(5), 0);
}

// The demo disk (a copy) on a loop device, its NTFS partition (the
// second) mounted with ntfs-3g: a file system on the disk being recovered.
class MountedDemoDisk {
public:
    MountedDemoDisk(const std::string& image, const harness::TempDir& dir)
        : copied_(harness::run("cp " + quote(image) + " " + quote(dir.file("loop.img"))).status == 0),
          loop_(dir.file("loop.img")),
          mount_("ntfs-3g " + quote(loop_.partition(2)), dir.file("mnt")) {}
    bool ready() const { return copied_ && mount_.ready(); }
    const std::string& device() const { return loop_.device(); }
    std::string file(const std::string& name) const { return mount_.file(name); }

private:
    bool copied_;
    harness::LoopDevice loop_;
    harness::Mounted mount_;
};

TEST_F(TerminalDialogTest, SavingOntoTheScannedDiskIsRefusedInBatchAndAskedInTheDialog) {
    if (geteuid() != 0 || !harness::haveTool("losetup") || !harness::haveTool("ntfs-3g"))
        GTEST_SKIP() << "needs root, losetup and ntfs-3g";
    MountedDemoDisk disk(demoImage_, dir_);
    ASSERT_TRUE(disk.ready()) << "could not mount the demo disk's NTFS partition";

    // Batch: refused with the reason, nothing made; --force saves.
    const std::string batch = "LC_ALL=C " + std::string(UNDELETE_BINARY) +
                              " --scan 0 --save-all --output " + quote(disk.file("out")) + " " +
                              quote(disk.device());
    const harness::Result refused = harness::run(batch + " 2>&1");
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(contains(refused.out, "lies on the disk being recovered")) << refused.out;
    EXPECT_EQ(access(disk.file("out").c_str(), F_OK), -1);
    EXPECT_EQ(harness::run(batch + " --force 2>&1").status, 0);
    EXPECT_EQ(harness::readFile(disk.file("out/报告.txt")), original("fat32/报告.txt"));

    // The dialog asks; no writes nothing, yes saves.
    open(disk.device());
    scanRow(0);
    ASSERT_TRUE(tmux_.dismissMessagesUntil([](const std::string& s) {
        return scanIdle(s) && contains(s, "报告.txt");
    })) << tmux_.last();
    openSavePrompt("报告.txt");
    for (const char* answer : {"n", "y"}) {
        enterPath(disk.file("asked.txt"));
        ASSERT_TRUE(tmux_.waitForText("仍要保存吗")) << tmux_.last();
        tmux_.keys(answer);
        ASSERT_TRUE(tmux_.waitFor([](const std::string& s) { return !contains(s, "仍要保存吗"); }))
            << tmux_.last();
        if (*answer == 'y') break;
        EXPECT_EQ(access(disk.file("asked.txt").c_str(), F_OK), -1) << "saved after a no";
        tmux_.keys("Enter");  // "保存" still has the focus
        ASSERT_TRUE(waitForSavePrompt()) << tmux_.last();
    }
    ASSERT_TRUE(tmux_.waitForText("已保存 " + disk.file("asked.txt"))) << tmux_.last();
    EXPECT_EQ(harness::readFile(disk.file("asked.txt")), original("fat32/报告.txt"));
    tmux_.keys("F10");
    EXPECT_EQ(exitStatus(), 0);
}

// Running and not a zombie (an orphan's parent may never reap it here).
bool processRuns(const std::string& pid) {
    const std::string status = harness::readFile("/proc/" + pid + "/status");
    return !status.empty() && !contains(status, "(zombie)") && !contains(status, "(dead)");
}

TEST_F(TerminalDialogTest, EndsWhenItsTerminalHangsUp) {
    // With the hang-up signal ignored, as under nohup, only the terminal
    // itself tells that it has gone: the program must end, not spin on it.
    const std::string pidFile = dir_.file("pid");
    const std::string command = "trap '' HUP; echo $$ > " + quote(pidFile) +
                                "; exec env -u LANGUAGE -u LC_ALL " + kChinese + " " +
                                quote(UNDELETE_BINARY) + " " + quote(demoImage_);
    ASSERT_TRUE(tmux_.start("sh -c " + quote(command), 160, 50));
    ASSERT_TRUE(tmux_.waitForText("FAT32")) << tmux_.last();
    std::string pid = harness::readFile(pidFile);
    pid.erase(pid.find_last_not_of("\n") + 1);
    ASSERT_TRUE(processRuns(pid));
    tmux_.end();
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (processRuns(pid) && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const bool stillRuns = processRuns(pid);
    if (stillRuns) harness::run("kill -9 " + pid);
    EXPECT_FALSE(stillRuns) << "the program went on after its terminal hung up";
}

TEST_F(TerminalDialogTest, FollowsTheMessageLanguageOfTheLocale) {
    // Chinese: the dialog's own texts.
    open(demoImage_, 160, 50, "", "LANG=zh_CN.UTF-8");
    ASSERT_TRUE(tmux_.waitForText("[ 扫描 ]")) << tmux_.last();
    for (const char* text :
         {"文件系统", "文件名", "已扫描 0 条记录，找到 0 个已删除文件", "[ 保存 ]"}) {
        EXPECT_TRUE(contains(tmux_.last(), text)) << text << "\n" << tmux_.last();
    }
    tmux_.keys("F10");
    ASSERT_EQ(exitStatus(), 0);

    // English: what the catalogue gives, in the same layout (the partition
    // rows, both frames, the buttons on the bottom line).
    TmuxSession english(dir_.file("english.sock"));
    const std::string command = "env -u LANGUAGE -u LC_ALL -u LC_MESSAGES LANG=en_US.UTF-8 " +
                                quote(UNDELETE_BINARY) + " " + quote(demoImage_) +
                                "; echo $? > " + quote(dir_.file("english-status"));
    ASSERT_TRUE(english.start("sh -c " + quote(command), 160, 50));
    const std::string scan = "[ " + englishOf("扫描");
    const std::string header = englishOf("文件名");
    ASSERT_TRUE(english.waitFor([&](const std::string& s) {
        return contains(s, "NTFS") && contains(s, scan) && contains(s, header);
    })) << english.last();
    const std::vector<std::string> lines = harness::split(english.last(), '\n');
    ASSERT_EQ(lines.size(), 50u) << english.last();
    EXPECT_TRUE(contains(lines.back(), scan)) << "the buttons left the bottom line";
    EXPECT_EQ(focusedFrameRow(english.last()), 1);
    english.keys("F10");
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (harness::readFile(dir_.file("english-status")).empty() &&
           std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(harness::readFile(dir_.file("english-status")), "0\n");
}

// The names and folder paths of the demo disk's deleted files as the batch
// face lists them: the only texts an English screen may show in CJK.
std::vector<std::string> listedNames(const std::string& image) {
    std::vector<std::string> names;
    for (const char* row : {"0", "1"}) {
        const harness::Result listed =
            harness::undelete("--scan " + std::string(row) + " " + quote(image) + " 2>/dev/null");
        for (const auto& fields : harness::table(listed.out)) {
            if (fields.size() < 8 || fields[0] == "row") continue;
            names.push_back(fields[2]);
            names.push_back(fields[7]);
        }
    }
    return names;
}

// The first screen line with a CJK character outside `names` ("": none).
std::string lineWithCjk(const std::string& screen, const std::vector<std::string>& names) {
    for (std::string line : harness::split(screen, '\n')) {
        for (const std::string& name : names) {
            for (size_t at; !name.empty() && (at = line.find(name)) != std::string::npos;)
                line.erase(at, name.size());
        }
        for (size_t i = 0; i < line.size();) {
            const auto byte = static_cast<unsigned char>(line[i]);
            const size_t length = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
            char32_t c = length == 1 ? byte : byte & (0x3F >> (length - 1));
            for (size_t k = 1; k < length && i + k < line.size(); ++k)
                c = (c << 6) | (static_cast<unsigned char>(line[i + k]) & 0x3F);
            // Radicals, CJK punctuation, kana, ideographs; compatibility
            // ideographs; full-width forms.
            if ((c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) ||
                (c >= 0xFF00 && c <= 0xFFEF))
                return line;
            i += length;
        }
    }
    return "";
}

TEST_F(TerminalDialogTest, EveryEnglishScreenIsEnglish) {
    std::vector<std::string> names = listedNames(demoImage_);
    ASSERT_GE(names.size(), 14u);
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    const auto english = [&](const std::string& what) {
        EXPECT_EQ(lineWithCjk(tmux_.last(), names), "") << what << ":\n" << tmux_.last();
    };
    open(demoImage_, 160, 50, "", "LANG=en_US.UTF-8");
    ASSERT_TRUE(tmux_.waitForText("[ Scan ]")) << tmux_.last();
    english("the partition list");

    // A FAT32 scan: its two messages on the status line, then the list.
    tmux_.keys("Enter");
    ASSERT_TRUE(tmux_.waitFor([](const std::string& s) {
        return contains(s, "[ Scan ]") && contains(s, "Examined") && contains(s, ", 4 deleted") &&
               contains(s, "preparation finished");
    })) << tmux_.last();
    english("the file list");
    tmux_.keys("?");
    ASSERT_TRUE(tmux_.waitForText("[ OK ]")) << tmux_.last();
    english("the keys of the partition list");
    tmux_.keys("Enter");
    ASSERT_TRUE(tmux_.waitFor([](const std::string& s) { return !contains(s, "[ OK ]"); }))
        << tmux_.last();

    // The focused file list, Save with no row chosen, Save's own hints.
    tmux_.keys("Tab Tab");
    ASSERT_TRUE(tmux_.waitForText("Space select")) << tmux_.last();
    english("the focused file list");
    tmux_.keys("BTab Enter");
    ASSERT_TRUE(tmux_.waitForText("no file chosen")) << tmux_.last();
    english("Save with no row chosen");

    // The save prompt, its labels whole.
    tmux_.keys("Tab Down BTab Enter");
    ASSERT_TRUE(tmux_.waitFor([](const std::string& s) {
        return contains(s, "Folder: ") && contains(s, "File name: ") && contains(s, "[ Cancel ]");
    })) << tmux_.last();
    english("the save prompt");
    tmux_.keys("Escape F10");
    EXPECT_EQ(exitStatus(), 0);
}

TEST_F(TerminalDialogTest, EnterScansFilterSortAndSaveSeveralFilesIntoAFolder) {
    open(demoImage_);
    // The first partition row is selected at the start: Enter scans it.
    tmux_.keys("Enter");
    ASSERT_TRUE(tmux_.dismissMessagesUntil([](const std::string& s) {
        return scanIdle(s) && deletedCount(s) == 4;
    })) << tmux_.last();

    // "/" narrows the list by name, without case; Escape clears it.
    tmux_.keys("Tab Tab /");
    tmux_.type("BUDGET");
    ASSERT_TRUE(tmux_.waitFor([](const std::string& s) {
        return contains(s, "Budget-2024.csv") && !contains(s, "报告.txt") && contains(s, "(1/4)");
    })) << tmux_.last();
    tmux_.keys("Escape");
    ASSERT_TRUE(tmux_.waitFor([](const std::string& s) {
        return contains(s, "Budget-2024.csv") && contains(s, "报告.txt");
    })) << tmux_.last();

    // "n" sorts by name, again the other way round.
    const std::vector<std::string> byName = {"Budget-2024.csv", "Meeting Notes.txt", "报告.txt",
                                             "照片说明.txt"};
    const auto inOrder = [&](const std::string& s, bool reversed) {
        for (size_t i = 0; i + 1 < byName.size(); ++i) {
            const int a = lineOf(s, byName[i]), b = lineOf(s, byName[i + 1]);
            if (a < 0 || b < 0 || (reversed ? a < b : a > b)) return false;
        }
        return true;
    };
    tmux_.keys("n");
    ASSERT_TRUE(tmux_.waitFor([&](const std::string& s) { return inOrder(s, false); }))
        << tmux_.last();
    tmux_.keys("n");
    ASSERT_TRUE(tmux_.waitFor([&](const std::string& s) { return inOrder(s, true); }))
        << tmux_.last();

    // One row: the name prompt starts with the file's own name, and a line
    // confirms the save.
    tmux_.keys("Home BTab Enter");
    ASSERT_TRUE(waitForSavePrompt()) << tmux_.last();
    const std::string first = byName.back();  // reversed: first on screen
    const std::string nameField = lineWith(tmux_.last(), "文件名:");
    EXPECT_TRUE(contains(nameField, "文件名: ") && contains(nameField, first)) << tmux_.last();
    enterPath(dir_.file("one.txt"));
    ASSERT_TRUE(tmux_.waitForText("已保存 " + dir_.file("one.txt"))) << tmux_.last();

    // Space selects the row under the cursor; moving on does not select,
    // so the save takes the selected row, not the cursor's.
    tmux_.keys("Tab Space Down BTab Enter");
    ASSERT_TRUE(waitForSavePrompt()) << tmux_.last();
    const std::string chosen = lineWith(tmux_.last(), "文件名:");
    EXPECT_TRUE(contains(chosen, first) && !contains(chosen, byName[2])) << tmux_.last();
    tmux_.keys("Escape");
    ASSERT_TRUE(tmux_.waitFor([](const std::string& s) { return !contains(s, "另存为"); }))
        << tmux_.last();

    // Every row: a folder is asked for, and each file lands there whole.
    const std::string folder = dir_.file("saved");
    ASSERT_EQ(harness::run("mkdir " + quote(folder)).status, 0);
    tmux_.keys("Tab Home S-End BTab Enter");
    ASSERT_TRUE(tmux_.waitFor([](const std::string& s) {
        return contains(s, "保存到文件夹") && contains(s, "[ 取消 ]");
    })) << tmux_.last();
    enterPath(folder);
    ASSERT_TRUE(tmux_.waitForText("已保存 4 个文件，0 个失败")) << tmux_.last();
    tmux_.keys("Enter");
    const std::vector<std::pair<std::string, std::string>> originals = {
        {"报告.txt", "fat32/报告.txt"},
        {"照片说明.txt", "fat32/Docs/照片说明.txt"},
        {"Meeting Notes.txt", "fat32/Docs/Meeting Notes.txt"},
        {"Budget-2024.csv", "fat32/Budget-2024.csv"}};
    for (const auto& [name, relative] : originals) {
        // Under the file's folder inside the volume, when the scan knows it.
        const harness::Result found =
            harness::run("find " + quote(folder) + " -type f -name " + quote(name));
        const std::vector<std::string> paths = harness::split(found.out, '\n');
        ASSERT_EQ(paths.size(), 1u) << name << ": " << found.out;
        EXPECT_EQ(harness::readFile(paths[0]), original(relative)) << name;
    }
    tmux_.keys("F10");
    EXPECT_EQ(exitStatus(), 0);
}

// The cells of a list's header line: the texts between its grid and frame
// lines, blanks trimmed.
std::vector<std::string> headerCells(const std::string& line) {
    std::string text = line;
    for (const std::string bar : {"\xE2\x95\x91", "\xE2\x94\x82"}) {  // ║ │
        for (size_t at; (at = text.find(bar)) != std::string::npos;) text.replace(at, bar.size(), "|");
    }
    std::vector<std::string> cells;
    for (std::string cell : harness::split(text, '|')) {
        cell.erase(0, cell.find_first_not_of(' '));
        cell.erase(cell.find_last_not_of(' ') + 1);
        if (!cell.empty()) cells.push_back(cell);
    }
    return cells;
}

std::vector<std::string> englishOfEach(const std::vector<std::string>& msgids) {
    std::vector<std::string> texts;
    for (const std::string& msgid : msgids) texts.push_back(englishOf(msgid));
    return texts;
}

std::string trimmedLine(const std::string& screen, size_t line) {
    const std::vector<std::string> lines = harness::split(screen, '\n');
    if (line >= lines.size()) return std::string();
    std::string text = lines[line];
    text.erase(0, text.find_first_not_of(' '));
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

TEST_F(TerminalDialogTest, FitsEightyByTwentyFourWithWholeHeadersAndHintsAndAllAtTwoHundred) {
    const std::vector<std::string> partitionHeaders = englishOfEach(
        {"序号", "文件系统", "标识", "起始柱面", "磁头", "扇区", "终止柱面", "磁头", "扇区", "容量"});
    // At 80 columns all but the deletion time; at 200 all.
    const std::vector<std::string> fileHeaders =
        englishOfEach({"序号", "文件名", "创建时间", "大小", "状态", "路径"});
    const std::vector<std::string> allFileHeaders =
        englishOfEach({"序号", "文件名", "创建时间", "大小", "状态", "路径", "来源", "删除时间"});
    const auto hints = [](const std::vector<std::string>& msgids) {
        std::string line;
        for (const std::string& text : englishOfEach(msgids)) line += (line.empty() ? "" : "   ") + text;
        return line;
    };
    const std::string partitionHints =
        hints({"Enter 扫描", "D 深度扫描", "C 按内容查找", "Tab 切换", "? 帮助", "F10 关闭"});
    const std::string fileHints =
        hints({"空格 选择", "/ 筛选", "n p s z t d 排序", "Tab 切换", "? 帮助", "F10 关闭"});
    // Both header lines hold every header, none cut; the list rows show
    // capacities and sizes in binary units. The English origin column has
    // room only when the terminal is wider than 80.
    const auto whole = [&](const std::string& screen, bool wide = false) {
        std::vector<std::vector<std::string>> headers;
        for (const std::string& line : harness::split(screen, '\n')) {
            const std::vector<std::string> cells = headerCells(line);
            if (!cells.empty() && cells[0] == partitionHeaders[0]) headers.push_back(cells);
        }
        return headers.size() == 2 && headers[0] == partitionHeaders &&
               headers[1] == (wide ? allFileHeaders : fileHeaders);
    };

    open(demoImage_, 80, 24, "", "LANG=en_US.UTF-8");
    ASSERT_TRUE(tmux_.waitFor([&](const std::string& s) {
        return whole(s) && contains(s, "exFAT") && contains(s, "FAT16");
    })) << tmux_.last();
    EXPECT_EQ(trimmedLine(tmux_.last(), 0), partitionHints) << tmux_.last();
    EXPECT_TRUE(contains(tmux_.last(), "64.0 MiB")) << tmux_.last();
    EXPECT_TRUE(contains(tmux_.last(), "16.0 MiB")) << tmux_.last();

    tmux_.keys("Enter");
    ASSERT_TRUE(tmux_.waitFor([&](const std::string& s) {
        return whole(s) && contains(s, "[ Scan ]") && contains(s, ", 4 deleted") &&
               contains(s, "/Docs/") && contains(s, "2.3 KiB");
    })) << tmux_.last();
    tmux_.keys("Tab Tab");
    ASSERT_TRUE(tmux_.waitFor([&](const std::string& s) { return trimmedLine(s, 0) == fileHints; }))
        << tmux_.last();

    // 200 columns: the same, with room to spare.
    tmux_.resize(200, 24);
    ASSERT_TRUE(tmux_.waitFor([&](const std::string& s) {
        // The frame line reaches across: 200 cells of three-byte lines.
        return whole(s, true) && harness::split(s, '\n')[1].size() >= 3 * 200 &&
               contains(s, "Meeting Notes.txt");
    })) << tmux_.last();
    EXPECT_EQ(trimmedLine(tmux_.last(), 0), fileHints);
    tmux_.keys("F10");
    EXPECT_EQ(exitStatus(), 0);
}

}  // namespace

TEST_F(TerminalDialogTest, AWipedTableOffersTheSearchWhoseFoundRowsScanLikeAnyOther) {
    const std::string wiped = dir_.file("wiped.img");
    ASSERT_EQ(harness::run("cp " + quote(demoImage_) + " " + quote(wiped) + " && dd if=/dev/zero of=" +
                           quote(wiped) + " bs=512 count=1 conv=notrunc status=none")
                  .status,
              0);
    status_ = dir_.file("status");
    const std::string command = "env -u LANGUAGE -u LC_ALL -u LC_MESSAGES " +
                                std::string(kChinese) + " " + quote(UNDELETE_BINARY) + " " +
                                quote(wiped) + "; echo $? > " + quote(status_);
    ASSERT_TRUE(tmux_.start("sh -c " + quote(command), 160, 50));
    // The message and the offer are one question.
    ASSERT_TRUE(tmux_.waitFor([](const std::string& s) {
        return contains(s, "未找到分区表") && contains(s, "要按引导扇区在整个磁盘上搜索");
    })) << tmux_.last();
    tmux_.keys("y");
    ASSERT_TRUE(tmux_.waitFor([](const std::string& s) {
        return contains(s, "FAT32(找到)") && contains(s, "NTFS(找到)") &&
               contains(s, "找到 4 个分区表以外的分区") && scanIdle(s);
    })) << tmux_.last();
    EXPECT_TRUE(contains(tmux_.last(), " 1/4 ")) << "the first found row is selected";
    // Enter scans it as it scans a table's row.
    tmux_.keys("Enter");
    ASSERT_TRUE(tmux_.dismissMessagesUntil([](const std::string& s) {
        return scanIdle(s) && deletedCount(s) == 4 && contains(s, "Budget-2024.csv");
    })) << tmux_.last();
    tmux_.keys("F10");
    EXPECT_EQ(exitStatus(), 0);
}

// A disk with neither table nor volume: declining the search leaves the
// partition list empty, and C carves the whole disk, listing the files
// laid in it by their sector.
TEST_F(TerminalDialogTest, COnAnEmptyPartitionListCarvesTheWholeDisk) {
    const std::string samples = dir_.file("samples");
    const std::string disk = dir_.file("nothing.img");
    ASSERT_EQ(harness::run("python3 " + quote(harness::fixture("make-carve-samples.py")) + " " +
                           quote(samples) + " >&2 && python3 -c " +
                           quote("import random, sys\n"
                                 "r = random.Random(28)\n"
                                 "d = bytearray(r.randbytes(1 << 20))\n"
                                 "for at, f in ((65536, sys.argv[1]), (524288, sys.argv[2])):\n"
                                 "    b = open(f, 'rb').read(); d[at:at + len(b)] = b\n"
                                 "open(sys.argv[3], 'wb').write(d)\n") +
                           " " + quote(samples + "/photo.jpg") + " " +
                           quote(samples + "/tiny.bmp") + " " + quote(disk))
                  .status,
              0);
    status_ = dir_.file("status");
    const std::string command = "env -u LANGUAGE -u LC_ALL -u LC_MESSAGES " +
                                std::string(kChinese) + " " + quote(UNDELETE_BINARY) + " " +
                                quote(disk) + "; echo $? > " + quote(status_);
    ASSERT_TRUE(tmux_.start("sh -c " + quote(command), 160, 50));
    ASSERT_TRUE(tmux_.waitFor([](const std::string& s) { return contains(s, "未找到分区表"); }))
        << tmux_.last();
    tmux_.keys("n");
    ASSERT_TRUE(tmux_.waitFor([](const std::string& s) { return contains(s, "C 按内容查找"); }))
        << tmux_.last();
    tmux_.keys("c");
    ASSERT_TRUE(tmux_.dismissMessagesUntil([](const std::string& s) {
        return scanIdle(s) && deletedCount(s) == 2 && contains(s, "0000000128 Canon EOS") &&
               contains(s, "0000001024.bmp");
    })) << tmux_.last();
    // The save prompt tells what the content check says of the photo.
    // C leaves the partition list focused; the file list's first row is the
    // photo, and the save button is before the file list.
    tmux_.keys("Tab Tab Home BTab Enter");
    ASSERT_TRUE(waitForSavePrompt()) << tmux_.last();
    EXPECT_TRUE(contains(tmux_.last(), "内容检查：与扩展名所示的种类相符")) << tmux_.last();
    tmux_.keys("Escape");
    tmux_.keys("F10");
    EXPECT_EQ(exitStatus(), 0);
}
