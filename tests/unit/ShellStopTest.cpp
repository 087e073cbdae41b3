// Stopping a long FAT32 directory walk on a disk whose reads are slow: the
// walk ends at once, what it found is listed, and a scan started right
// after never reads beside the stopped one, whose scanner is released.
// Stopping before the walk begins lists nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "app/ScanShell.h"
#include "fat/FatScanner.h"
#include "common/Text.h"
#include "disk/MemoryDrive.h"
#include "support/FakeShell.h"
#include "unit/Fat32TestImage.h"

using namespace undelete;
using namespace undelete::test;

namespace {

constexpr uint32_t kFolders = 800;
constexpr uint32_t kFirstFolder = 200;

// Counts the reads of every drive opened on it, and how many ran at once.
struct ReadLog {
    std::mutex mutex;
    std::condition_variable changed;
    int reads = 0;
    int inFlight = 0;
    int mostInFlight = 0;

    bool awaitReads(int n) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20), [&] { return reads >= n; });
    }
    int count() {
        std::lock_guard<std::mutex> lock(mutex);
        return reads;
    }
};

// A disk whose every read takes a while, as a slow or failing one does.
class SlowDrive : public DriveDevice {
public:
    SlowDrive(std::shared_ptr<MemoryImage> image, ReadLog& log) : inner_(std::move(image)), log_(log) {}
    bool queryGeometry(DriveGeometry& g) override { return inner_.queryGeometry(g); }
    void lockVolume() override {}
    void unlockVolume() override {}
    uint64_t sizeInBytes() override { return inner_.sizeInBytes(); }
    uint32_t readAt(uint64_t offset, void* buffer, uint32_t length) override {
        {
            std::lock_guard<std::mutex> lock(log_.mutex);
            log_.mostInFlight = std::max(log_.mostInFlight, ++log_.inFlight);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const uint32_t n = inner_.readAt(offset, buffer, length);
        {
            std::lock_guard<std::mutex> lock(log_.mutex);
            --log_.inFlight;
            ++log_.reads;
        }
        log_.changed.notify_all();
        return n;
    }

private:
    MemoryDrive inner_;
    ReadLog& log_;
};

// A root of kFolders live folders, one cluster each, each holding one
// deleted file: the walk reads one cluster per folder.
VolumeLayout manyFolders() {
    VolumeLayout layout;
    layout.clusters = kFirstFolder + kFolders;
    layout.fatSize = (layout.clusters + 2) * 4 / 512 + 1;
    return layout;
}

class ShellStop : public ::testing::Test {
protected:
    ShellStop() : volume(manyFolders()), shell(view, context()) {
        initProcessLocale();
        Directory root;
        for (uint32_t i = 0; i < kFolders; ++i) {
            char name[12];
            std::snprintf(name, sizeof name, "D%07u   ", i);
            root.add(shortEntry(name, 0x10, kFirstFolder + i));
            Directory folder;
            folder.add(dotEntries(kFirstFolder + i, 2)).add(deletedFile("#ILE    TXT", 0, 0));
            volume.put(kFirstFolder + i, folder);
            volume.setFat(kFirstFolder + i, 0x0FFFFFFF);
        }
        const uint32_t rootClusters = static_cast<uint32_t>(root.bytes.size() / 512);
        for (uint32_t c = 2; c < 2 + rootClusters; ++c) volume.setFat(c, c + 1 == 2 + rootClusters ? 0x0FFFFFFF : c + 1);
        volume.put(2, root);
    }

    DiskSource context() {
        DiskSource c;
        c.zone = LocalZone::fixed(0);
        std::shared_ptr<MemoryImage> image(&volume.disk().image(), [](MemoryImage*) {});
        c.openDrive = [image, this]() -> std::unique_ptr<DriveDevice> {
            return std::make_unique<SlowDrive>(image, log);
        };
        return c;
    }
    void press() {
        view.ui([&] {
            view.selectedPartition = &volume.record;
            shell.onScanCommand();
        });
    }
    bool awaitIdle() {
        for (int i = 0; i < 4000; ++i) {
            if (view.ui([&] { return view.caption == kScanCaption; })) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    size_t rows() { return view.ui([&] { return view.rows.size(); }); }

    Fat32Volume volume;
    ReadLog log;
    FakeView view;
    ScanShell shell;
};

TEST_F(ShellStop, AStoppedWalkEndsAtOnceAndListsWhatItFound) {
    press();
    ASSERT_TRUE(log.awaitReads(50));
    press();  // stop
    const int atStop = log.count();
    shell.waitForWorkers();
    EXPECT_LE(log.count() - atStop, 2);
    EXPECT_EQ(shell.lastOutcome(), ScanOutcome::Stopped);
    EXPECT_GT(rows(), 30u);
    EXPECT_LT(rows(), size_t{kFolders});
}

TEST_F(ShellStop, ARestartedScanNeverReadsBesideTheStoppedOne) {
    press();
    ASSERT_TRUE(log.awaitReads(50));
    const std::weak_ptr<ScannedVolume> first = shell.currentVolume();
    ASSERT_FALSE(first.expired());
    press();  // stop
    press();  // and scan again
    ASSERT_TRUE(awaitIdle());
    EXPECT_EQ(shell.lastOutcome(), ScanOutcome::Completed);
    EXPECT_EQ(rows(), size_t{kFolders});
    EXPECT_TRUE(first.expired());
    shell.waitForWorkers();
    EXPECT_EQ(log.mostInFlight, 1);
}

// Presses Stop while the walk's first message is up, as a user of the
// Windows dialog can (its box leaves the dialog free).
class StopAtFirstMessage : public FakeView {
public:
    std::function<void()> pressStop;
    void showMessageBox(const char* text) override {
        FakeView::showMessageBox(text);
        if (std::string(text) == kFatPreparingMessage) pressStop();
    }
};

// A root holding deleted files and a folder with one more: a walk that
// started anyway would list some of them.
TEST(ShellStopAtFirstMessage, TheWalkNeverStartsAndTheStopIsTold) {
    initProcessLocale();
    Fat32Volume volume;
    Directory root;
    root.add(deletedFile("#NE     TXT", 10, 5)).add(deletedFile("#WO     TXT", 11, 5));
    root.add(shortEntry("SUB        ", 0x10, 3));
    Directory sub;
    sub.add(dotEntries(3, 2)).add(deletedFile("#HREE   TXT", 12, 5));
    volume.put(2, root);
    volume.put(3, sub);
    volume.chain({2});
    volume.chain({3});
    StopAtFirstMessage view;
    DiskSource context;
    context.zone = LocalZone::fixed(0);
    context.openDrive = volume.disk().opener();
    ScanShell shell(view, context);
    view.pressStop = [&] { view.ui([&] { shell.onScanCommand(); }); };
    view.ui([&] {
        view.selectedPartition = &volume.record;
        shell.onScanCommand();
    });
    shell.waitForWorkers();
    EXPECT_EQ(view.messageList(),
              (std::vector<std::string>{kFatPreparingMessage, kScanStoppedMessage}));
    EXPECT_EQ(view.ui([&] { return view.rows.size(); }), 0u);
    EXPECT_EQ(view.ui([&] { return view.counters.count(kScannedCounter); }), 1u);
    EXPECT_EQ(view.ui([&] { return view.counters[kScannedCounter]; }), 0u);
    EXPECT_EQ(view.ui([&] { return view.counters[kDeletedCounter]; }), 0u);
    EXPECT_EQ(shell.lastOutcome(), ScanOutcome::Stopped);
}

}  // namespace
