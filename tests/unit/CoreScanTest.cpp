// The core's scan of one row, driven with a scripted scanner on the
// calling thread: what the observer hears, a stop, and the failed reads
// counted as data.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Scan.h"
#include "core/ScannedVolume.h"
#include "support/FakeShell.h"

using namespace undelete;
using namespace undelete::test;

namespace {

// Hears everything; stops the scan at the `stopAt`-th file found.
struct Recorder : ScanObserver {
    void told(const ScanMessage& message) override {
        messages.push_back({message.kind, message.text});
    }
    bool began(const std::shared_ptr<ScannedVolume>& volume) override {
        hadVolume = volume != nullptr;
        return true;
    }
    bool catalogueOpen() override {
        ++opened;
        return true;
    }
    bool examined(uint32_t index) override {
        examinedAt.push_back(index);
        return true;
    }
    bool found(const FoundFile& file) override {
        files.push_back(file);
        if (files.size() == stopAt && stop != nullptr) stop->stop();
        return files.size() != declineAt;
    }
    void progress(ScanPhase phase, uint64_t done, uint64_t total) override {
        progressed.push_back({phase, done, total});
    }

    struct Message {
        ScanMessage::Kind kind;
        std::string text;
    };
    struct Progress {
        ScanPhase phase;
        uint64_t done, total;
    };
    std::vector<Message> messages;
    std::vector<uint32_t> examinedAt;
    std::vector<FoundFile> files;
    std::vector<Progress> progressed;
    bool hadVolume = false;
    int opened = 0;
    size_t stopAt = 0, declineAt = 0;
    const StopToken* stop = nullptr;
};

DiskSource sourceFor(ScannerScript& script) {
    DiskSource source;
    source.makeScanner = [&script](const PartitionRecord&, const ScanContext& context) {
        return std::make_unique<FakeScanner>(script, context);
    };
    return source;
}

TEST(CoreScan, HandsEveryFileFoundToTheObserverAndKeepsTheVolumeToReadIt) {
    ScannerScript script;
    script.items = 600;
    script.listable = {3, 300, 599};
    script.content = {'a', 'b', 'c', 'd', 'e'};
    script.pieceBytes = 2;
    Recorder observer;
    const ScanResult result = scanRow(sourceFor(script), {}, {}, StopToken(), observer);

    EXPECT_EQ(result.report.outcome, ScanOutcome::Completed);
    EXPECT_EQ(result.report.examined, 600u);
    EXPECT_EQ(result.report.listed, 3u);
    EXPECT_TRUE(observer.hadVolume);
    EXPECT_EQ(observer.opened, 1);
    ASSERT_EQ(observer.files.size(), 3u);
    EXPECT_EQ(observer.files[1].index, 300u);
    EXPECT_EQ(observer.files[1].number, 1u);
    EXPECT_EQ(observer.files[1].file.name, "file300");
    EXPECT_EQ(observer.examinedAt, (std::vector<uint32_t>{0, 256, 512, 600}));
    ASSERT_EQ(observer.progressed.size(), 1u);  // index 0, of 0: the fake cannot tell
    EXPECT_EQ(observer.progressed[0].phase, ScanPhase::Listing);

    ASSERT_NE(result.volume, nullptr);
    std::vector<uint8_t> data;
    BufferSink sink(data);
    EXPECT_TRUE(result.volume->readContent(599, sink));
    EXPECT_EQ(data, script.content);
}

TEST(CoreScan, AStopOrAnObserverThatWantsNoMoreEndsTheWalkAtOnce) {
    for (const bool byObserver : {false, true}) {
        ScannerScript script;
        script.items = 100;
        for (uint32_t i = 0; i < 100; i += 10) script.listable.insert(i);
        const StopToken stop;
        Recorder observer;
        observer.stop = &stop;
        (byObserver ? observer.declineAt : observer.stopAt) = 2;
        const ScanResult result = scanRow(sourceFor(script), {}, {}, stop, observer);
        EXPECT_EQ(result.report.outcome, ScanOutcome::Stopped);
        EXPECT_EQ(observer.files.size(), 2u);
        EXPECT_LT(script.highestDescribed.load(), 12u) << byObserver;
    }
    // No scanner for the row.
    Recorder observer;
    DiskSource none;
    none.makeScanner = [](const PartitionRecord&, const ScanContext&) { return nullptr; };
    EXPECT_EQ(scanRow(none, {}, {}, StopToken(), observer).report.outcome,
              ScanOutcome::Unsupported);
    EXPECT_FALSE(observer.hadVolume);
}

TEST(CoreScan, FailedReadsAreCountedAndOnlyTheFirstOfEachOperationIsTold) {
    ScannerScript script;
    script.openResult = false;
    script.failedReadsInOpen = 40;
    script.toldInOpen = "cut";
    Recorder observer;
    const ScanReport report = scanRow(sourceFor(script), {}, {}, StopToken(), observer).report;
    EXPECT_EQ(report.outcome, ScanOutcome::OpenFailed);
    EXPECT_EQ(report.failedReads, 40u);
    EXPECT_EQ(report.firstFailedAt, 4096u);
    EXPECT_EQ(report.incomplete, 1u);
    ASSERT_EQ(observer.messages.size(), 2u);
    EXPECT_EQ(observer.messages[0].kind, ScanMessage::Kind::Incomplete);
    EXPECT_EQ(observer.messages[0].text, "cut");
    EXPECT_EQ(observer.messages[1].kind, ScanMessage::Kind::FirstReadError);
    EXPECT_EQ(observer.opened, 0);
}

}  // namespace
