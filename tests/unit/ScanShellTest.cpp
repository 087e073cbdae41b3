#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <deque>
#include <fstream>
#include <iterator>
#include <thread>

#include "app/ScanShell.h"
#include "support/FakeShell.h"
#include "support/MemoryDisk.h"

using namespace undelete;
using namespace undelete::test;

namespace {

// Hands out one scripted scanner per scan, in order; type 0x83 has none.
class ShellFixture : public ::testing::Test {
protected:
    ShellFixture() : shell(view, context()) {
        record.partitionType = 0x0C;
        other.partitionType = 0x83;
    }

    DiskSource context() {
        DiskSource c;
        c.zone = LocalZone::fixed(0);
        c.makeScanner = [this](const PartitionRecord& r,
                               const ScanContext& scan) -> std::unique_ptr<VolumeScanner> {
            std::lock_guard<std::mutex> lock(scriptsMutex);
            if (r.partitionType == 0x83 || scripts.empty()) return nullptr;
            ScannerScript* script = scripts.front();
            scripts.pop_front();
            return std::make_unique<FakeScanner>(*script, scan);
        };
        return c;
    }

    // Scripts live as long as the fixture: the shell keeps its last scanner,
    // which refers to its script, until the fixture is torn down.
    ScannerScript& newScript() {
        owned.push_back(std::make_unique<ScannerScript>());
        return *owned.back();
    }
    void queue(ScannerScript& script) {
        std::lock_guard<std::mutex> lock(scriptsMutex);
        scripts.push_back(&script);
    }
    void press(const PartitionRecord* selected) {
        view.ui([&] {
            view.selectedPartition = selected;
            shell.onScanCommand();
        });
    }
    // Waits for the switch to come back to idle by itself.
    bool awaitIdle() {
        for (int i = 0; i < 1000; ++i) {
            if (view.ui([&] { return view.caption == kScanCaption; })) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    // Presses "扫描" with `selected` and waits until that scan has ended and
    // its worker is gone.
    bool scanToEnd(const PartitionRecord* selected) {
        press(selected);
        if (!awaitIdle()) return false;
        shell.waitForWorkers();
        return true;
    }
    std::string caption() { return view.ui([&] { return view.caption; }); }
    unsigned counter(ControlId id) { return view.ui([&] { return view.counters[id]; }); }
    size_t rowCount() { return view.ui([&] { return view.rows.size(); }); }

    FakeView view;
    std::mutex scriptsMutex;
    std::deque<ScannerScript*> scripts;
    std::deque<std::unique_ptr<ScannerScript>> owned;
    PartitionRecord record;
    PartitionRecord other;
    ScanShell shell;
};

TEST_F(ShellFixture, WithoutASelectedPartitionTheButtonDoesNothing) {
    press(nullptr);
    EXPECT_EQ(caption(), kScanCaption);
    EXPECT_EQ(shell.lastOutcome(), ScanOutcome::None);
}

TEST_F(ShellFixture, ListsEveryAcceptedIndexWithRowNumbersAndItemData) {
    ScannerScript& script = newScript();
    script.items = 6;
    script.listable = {1, 4, 5};
    queue(script);
    ASSERT_TRUE(scanToEnd(&record));
    EXPECT_EQ(shell.lastOutcome(), ScanOutcome::Completed);
    EXPECT_EQ(counter(kScannedCounter), 6u);
    EXPECT_EQ(counter(kDeletedCounter), 3u);
    ASSERT_EQ(rowCount(), 3u);
    EXPECT_EQ(view.rows[0].texts[0], "0");
    EXPECT_EQ(view.rows[0].data, 1u);
    EXPECT_EQ(view.rows[0].texts[1], "file1");
    EXPECT_EQ(view.rows[0].texts[2], "2020/1/2 03:04:06");
    EXPECT_EQ(view.rows[0].texts[3], "1 B");
    EXPECT_EQ(view.rows[2].texts[0], "2");
    EXPECT_EQ(view.rows[2].data, 5u);
}

TEST_F(ShellFixture, TheScannedCounterEndsAtEveryIndexExaminedThoughItMovesInSteps) {
    ScannerScript& script = newScript();
    script.items = 1000;  // not a multiple of any step
    script.listable = {7, 999};
    queue(script);
    ASSERT_TRUE(scanToEnd(&record));
    EXPECT_EQ(shell.lastOutcome(), ScanOutcome::Completed);
    EXPECT_EQ(counter(kScannedCounter), 1000u);
    EXPECT_EQ(shell.lastScanReport().examined, 1000u);
    EXPECT_EQ(shell.lastScanReport().listed, 2u);
    EXPECT_EQ(counter(kDeletedCounter), 2u);
}

TEST_F(ShellFixture, EmptyCatalogueEndsIdleWithZeroCounters) {
    ScannerScript& script = newScript();
    queue(script);
    view.ui([&] { view.counters[kScannedCounter] = 9; });
    ASSERT_TRUE(scanToEnd(&record));
    EXPECT_EQ(counter(kScannedCounter), 0u);
    EXPECT_EQ(counter(kDeletedCounter), 0u);
    EXPECT_EQ(rowCount(), 0u);
}

TEST_F(ShellFixture, UnsupportedTypeShowsTheMessageAndKeepsThePreviousRows) {
    ScannerScript& first = newScript();
    first.items = 2;
    first.listable = {0, 1};
    queue(first);
    ASSERT_TRUE(scanToEnd(&record));

    ASSERT_TRUE(scanToEnd(&other));
    EXPECT_EQ(shell.lastOutcome(), ScanOutcome::Unsupported);
    ASSERT_EQ(view.messageList().size(), 1u);
    EXPECT_EQ(view.messageList()[0], kUnsupportedMessage);
    EXPECT_EQ(rowCount(), 2u);
    EXPECT_EQ(counter(kDeletedCounter), 2u);
    EXPECT_EQ(shell.currentVolume(), nullptr);

    // Those rows belong to a scanner that is gone: saving them does nothing.
    view.ui([&] {
        view.selectedFile = 0;
        view.savePath = "/nonexistent-dir/never";
        EXPECT_EQ(shell.onSaveCommand(), SaveOutcome::NothingToDo);
    });
    EXPECT_EQ(first.readContentCalls.load(), 0);
}

TEST_F(ShellFixture, FailedOpenKeepsThePreviousRowsAndTheirScannerIsNotAskedToSave) {
    ScannerScript& first = newScript();
    first.items = 3;
    first.listable = {2};
    ScannerScript& second = newScript();
    second.openResult = false;
    queue(first);
    queue(second);
    ASSERT_TRUE(scanToEnd(&record));
    ASSERT_TRUE(scanToEnd(&record));
    EXPECT_EQ(shell.lastOutcome(), ScanOutcome::OpenFailed);
    ASSERT_EQ(rowCount(), 1u);
    EXPECT_EQ(view.rows[0].data, 2u);
    EXPECT_EQ(counter(kScannedCounter), 3u);
    view.ui([&] {
        view.selectedFile = 0;
        view.savePath = "/tmp/unused";
        EXPECT_EQ(shell.onSaveCommand(), SaveOutcome::NothingToDo);
    });
    EXPECT_EQ(first.readContentCalls.load(), 0);
    EXPECT_EQ(second.readContentCalls.load(), 0);
    // Nothing can save those rows any more: their scanner is released.
    EXPECT_EQ(first.destroyed.load(), 1);
}

TEST_F(ShellFixture, StopDuringOpenStillClearsTheListButListsNothing) {
    ScannerScript& first = newScript();
    first.items = 1;
    first.listable = {0};
    Gate openGate;
    ScannerScript& second = newScript();
    second.items = 5;
    second.listable = {0, 1, 2, 3, 4};
    second.openGate = &openGate;
    queue(first);
    queue(second);
    ASSERT_TRUE(scanToEnd(&record));

    press(&record);
    ASSERT_TRUE(openGate.awaitArrival());
    EXPECT_EQ(caption(), kStopCaption);
    press(&record);  // stop
    EXPECT_EQ(caption(), kScanCaption);
    openGate.open();
    shell.waitForWorkers();
    EXPECT_EQ(rowCount(), 0u);
    EXPECT_EQ(counter(kScannedCounter), 0u);
    EXPECT_EQ(counter(kDeletedCounter), 0u);
    EXPECT_EQ(second.describeCalls.load(), 0);
    EXPECT_EQ(shell.lastOutcome(), ScanOutcome::Stopped);
}

TEST_F(ShellFixture, StopWhileListingExaminesNoLaterIndex) {
    Gate held;
    ScannerScript& script = newScript();
    script.items = 100;
    script.listable = {0, 1, 2, 3};
    script.describeGates[3] = &held;
    queue(script);
    press(&record);
    ASSERT_TRUE(held.awaitArrival());
    press(&record);  // stop while index 3 is being described
    EXPECT_EQ(caption(), kScanCaption);
    held.open();
    shell.waitForWorkers();
    EXPECT_EQ(script.highestDescribed.load(), 3u);
    EXPECT_EQ(rowCount(), 4u);  // the index in progress may still add its row
    EXPECT_EQ(counter(kDeletedCounter), 4u);
    EXPECT_EQ(counter(kScannedCounter), 3u);
}

TEST_F(ShellFixture, StoppedWorkerNeitherTouchesTheScreenNorLosesItsScannerUnderIt) {
    Gate held;
    ScannerScript& first = newScript();
    first.items = 10;
    first.listable = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    first.describeGates[2] = &held;
    ScannerScript& second = newScript();
    second.items = 1;
    second.listable = {0};
    queue(first);
    queue(second);
    press(&record);
    ASSERT_TRUE(held.awaitArrival());
    press(&record);  // stop the first worker inside describe
    press(&record);  // start the second: it begins once the first has ended
    EXPECT_EQ(second.describeCalls.load(), 0);
    held.open();     // the first worker comes out of describe
    ASSERT_TRUE(awaitIdle());
    shell.waitForWorkers();
    EXPECT_FALSE(first.destroyedWhileInUse.load());
    EXPECT_EQ(first.destroyed.load(), 1);
    ASSERT_EQ(rowCount(), 1u);
    EXPECT_EQ(view.rows[0].texts[1], "file0");
    EXPECT_EQ(counter(kDeletedCounter), 1u);
    EXPECT_EQ(counter(kScannedCounter), 1u);
    EXPECT_EQ(caption(), kScanCaption);
    EXPECT_EQ(shell.lastOutcome(), ScanOutcome::Completed);
}

TEST_F(ShellFixture, StoppedWorkerDoesNotResetTheSwitchOfTheNextScan) {
    Gate openGate;
    ScannerScript& first = newScript();
    first.openResult = false;
    first.openGate = &openGate;
    Gate held;
    ScannerScript& second = newScript();
    second.items = 2;
    second.listable = {0, 1};
    second.describeGates[0] = &held;
    queue(first);
    queue(second);
    press(&record);
    ASSERT_TRUE(openGate.awaitArrival());
    press(&record);  // stop
    press(&record);  // next scan, which waits for the first to end
    openGate.open();  // the first worker's open fails now: it must not stop the second
    ASSERT_TRUE(held.awaitArrival());
    EXPECT_EQ(caption(), kStopCaption);
    held.open();
    ASSERT_TRUE(awaitIdle());
    shell.waitForWorkers();
    EXPECT_EQ(rowCount(), 2u);
}

TEST_F(ShellFixture, FailedReadsShowTheFirstBoxAndOneSummary) {
    ScannerScript& script = newScript();
    script.items = 2;
    script.listable = {1};
    script.failedReadsInOpen = 5000;
    queue(script);
    ASSERT_TRUE(scanToEnd(&record));
    const ScanReport report = shell.lastScanReport();
    EXPECT_EQ(report.outcome, ScanOutcome::Completed);
    EXPECT_EQ(report.failedReads, 5000u);
    EXPECT_EQ(report.firstFailedAt, 4096u);
    EXPECT_EQ(report.listed, 1u);
    EXPECT_EQ(view.messageList(),
              (std::vector<std::string>{"ReadFile() Error", "读取失败 5000 次，第一次在字节 4096"}));
}

TEST_F(ShellFixture, AToldCutIsShownAndCountedInTheReport) {
    ScannerScript& script = newScript();
    script.items = 1;
    script.toldInOpen = "cut";
    queue(script);
    ASSERT_TRUE(scanToEnd(&record));
    EXPECT_EQ(shell.lastScanReport().incomplete, 1u);
    EXPECT_EQ(view.messageList(), std::vector<std::string>{"cut"});
}

class SaveFixture : public ShellFixture {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/undelete-save-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }
    void scanOneFile(ScannerScript& script) {
        script.items = 1;
        script.listable = {0};
        queue(script);
        ASSERT_TRUE(scanToEnd(&record));
    }
    SaveOutcome save(const std::string& path) {
        return view.ui([&] {
            view.selectedFile = 0;
            view.savePath = path;
            return shell.onSaveCommand();
        });
    }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static bool exists(const std::string& path) { return std::ifstream(path).good(); }
    std::string dir;
};

TEST_F(SaveFixture, SavingReplacesTheFileInsteadOfAppending) {
    ScannerScript& script = newScript();
    scanOneFile(script);
    const std::string path = dir + "/out.bin";
    { std::ofstream(path) << "old content that is longer"; }
    EXPECT_EQ(save(path), SaveOutcome::Saved);
    EXPECT_EQ(save(path), SaveOutcome::Saved);
    EXPECT_EQ(read(path), "data");
    EXPECT_TRUE(view.messageList().empty());
}

TEST_F(SaveFixture, NoSelectionOrCancelWritesNothing) {
    ScannerScript& script = newScript();
    scanOneFile(script);
    view.ui([&] {
        view.selectedFile = -1;
        EXPECT_EQ(shell.onSaveCommand(), SaveOutcome::NothingToDo);
        view.selectedFile = 0;
        view.savePath.clear();
        EXPECT_EQ(shell.onSaveCommand(), SaveOutcome::Cancelled);
    });
    EXPECT_EQ(script.readContentCalls.load(), 0);
}

TEST_F(SaveFixture, FailedReadIsReportedAndCreatesNoFile) {
    ScannerScript& script = newScript();
    script.contentResult = false;
    scanOneFile(script);
    const std::string path = dir + "/never.bin";
    EXPECT_EQ(save(path), SaveOutcome::Failed);
    EXPECT_FALSE(exists(path));
    ASSERT_EQ(view.messageList().size(), 1u);
    EXPECT_EQ(view.messageList()[0], kSaveFailedMessage);
}

TEST_F(SaveFixture, UnwritablePathIsReported) {
    ScannerScript& script = newScript();
    scanOneFile(script);
    EXPECT_EQ(save(dir + "/no-such-dir/out.bin"), SaveOutcome::Failed);
    EXPECT_EQ(save(dir), SaveOutcome::Failed);  // a folder
    EXPECT_EQ(view.messageList().size(), 2u);
}

TEST_F(SaveFixture, ShortWriteRemovesTheNewFile) {
    if (!exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    ScannerScript& script = newScript();
    script.content.assign(1 << 16, 'x');
    scanOneFile(script);
    EXPECT_EQ(save("/dev/full"), SaveOutcome::Failed);
    EXPECT_TRUE(exists("/dev/full"));  // existed before: never removed
    EXPECT_EQ(view.messageList().size(), 1u);
}

TEST_F(SaveFixture, TheDiskItselfIsNeverTheSavePath) {
    const std::string image = dir + "/disk.img";
    { std::ofstream(image) << "disk bytes"; }
    DiskSource reading = context();
    reading.diskPath = image;
    ScanShell own(view, reading);
    ScannerScript& script = newScript();
    script.items = 1;
    script.listable = {0};
    queue(script);
    view.ui([&] {
        view.selectedPartition = &record;
        own.onScanCommand();
    });
    ASSERT_TRUE(awaitIdle());
    own.waitForWorkers();
    const SaveOutcome outcome = view.ui([&] {
        view.selectedFile = 0;
        view.savePath = image;
        return own.onSaveCommand();
    });
    EXPECT_EQ(outcome, SaveOutcome::Failed);
    EXPECT_EQ(read(image), "disk bytes");
    EXPECT_EQ(script.readContentCalls.load(), 0);
    EXPECT_EQ(view.messageList().size(), 1u);
}

TEST_F(SaveFixture, AReadFailingHalfWayLeavesAnExistingFileAsItWasAndNoNewFile) {
    ScannerScript& script = newScript();
    script.content.assign(1000, 'n');
    script.pieceBytes = 100;
    script.failAfterPieces = 5;
    scanOneFile(script);
    const std::string existing = dir + "/existing.bin";
    { std::ofstream(existing) << "keep me"; }
    EXPECT_EQ(save(existing), SaveOutcome::Failed);
    EXPECT_EQ(read(existing), "keep me");
    EXPECT_EQ(save(dir + "/new.bin"), SaveOutcome::Failed);
    EXPECT_FALSE(exists(dir + "/new.bin"));
    // Nothing written beside them is left behind either.
    EXPECT_EQ(std::system(("test \"$(ls '" + dir + "')\" = existing.bin").c_str()), 0);
    EXPECT_EQ(view.messageList().size(), 2u);
}

TEST_F(SaveFixture, SelectedRowsAreSavedUnderTheirPathsWithoutReplacingAnything) {
    ScannerScript& script = newScript();
    script.items = 3;
    script.listable = {0, 2};
    script.folder = "/Docs/../照片/";
    queue(script);
    ASSERT_TRUE(scanToEnd(&record));
    ASSERT_EQ(std::system(("mkdir -p '" + dir + "/照片'").c_str()), 0);
    { std::ofstream(dir + "/照片/file2") << "taken"; }
    const auto reports = view.ui([&] {
        view.selectedRows = {0, 1};
        return shell.saveSelectedInto(dir);
    });
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].path, dir + "/Docs/照片/file0");
    EXPECT_EQ(reports[1].path, dir + "/Docs/照片/file2");
    for (const SaveReport& r : reports) {
        EXPECT_EQ(r.outcome, SaveOutcome::Saved);
        EXPECT_EQ(read(r.path), "data");
    }
    // A second time, every name is taken: " (1)" goes before the extension.
    const auto again = view.ui([&] { return shell.saveSelectedInto(dir); });
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0].path, dir + "/Docs/照片/file0 (1)");
    EXPECT_EQ(read(dir + "/照片/file2"), "taken");
}

TEST_F(SaveFixture, EmptyContentCreatesAnEmptyFile) {
    ScannerScript& script = newScript();
    script.content.clear();
    scanOneFile(script);
    const std::string path = dir + "/empty.bin";
    EXPECT_EQ(save(path), SaveOutcome::Saved);
    EXPECT_TRUE(exists(path));
    EXPECT_EQ(read(path), "");
}

TEST_F(SaveFixture, SaveDuringAScanReadsFromTheListingScanner) {
    Gate held;
    ScannerScript& script = newScript();
    script.items = 5;
    script.listable = {0, 1, 2, 3, 4};
    script.describeGates[3] = &held;
    queue(script);
    press(&record);
    ASSERT_TRUE(held.awaitArrival());
    const std::string path = dir + "/during.bin";
    EXPECT_EQ(save(path), SaveOutcome::Saved);
    EXPECT_EQ(read(path), "data");
    held.open();
    ASSERT_TRUE(awaitIdle());
    shell.waitForWorkers();
    EXPECT_EQ(rowCount(), 5u);
}

}  // namespace
