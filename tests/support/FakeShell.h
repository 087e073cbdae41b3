// A scripted scanner and an in-memory view for testing the shell logic.
#pragma once
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "app/ShellView.h"
#include "scan/ScanContext.h"
#include "scan/VolumeScanner.h"

namespace undelete::test {

// A one-shot gate a thread can wait at until the test opens it.
class Gate {
public:
    void open() {
        std::lock_guard<std::mutex> lock(m_);
        open_ = true;
        cv_.notify_all();
    }
    void wait() {
        std::unique_lock<std::mutex> lock(m_);
        ++waiting_;
        cv_.notify_all();
        cv_.wait(lock, [&] { return open_; });
    }
    // Waits until a thread is held at the gate.
    bool awaitArrival() {
        std::unique_lock<std::mutex> lock(m_);
        return cv_.wait_for(lock, std::chrono::seconds(10), [&] { return waiting_ > 0; });
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool open_ = false;
    int waiting_ = 0;
};

// What a FakeScanner does; shared with the test, which outlives it.
struct ScannerScript {
    bool openResult = true;
    uint32_t items = 0;
    std::set<uint32_t> listable;           // indices describe accepts
    Gate* openGate = nullptr;              // open waits here when set
    std::map<uint32_t, Gate*> describeGates;
    std::vector<uint8_t> content = {'d', 'a', 't', 'a'};
    bool contentResult = true;
    size_t pieceBytes = 4;           // content goes to the sink in pieces this large
    int failAfterPieces = -1;        // ≥ 0: the read fails after that many pieces
    int failedReadsInOpen = 0;       // open reports this many failed reads, 4096 bytes apart
    std::string folder;              // DeletedFile::path of every item

    const char* toldInOpen = nullptr;      // why the rows may not be all, told in open
    std::atomic<int> inside{0};            // threads inside an operation
    std::atomic<int> describeCalls{0};
    std::atomic<uint32_t> highestDescribed{0};
    std::atomic<int> readContentCalls{0};
    std::atomic<bool> destroyedWhileInUse{false};
    std::atomic<int> destroyed{0};
};

class FakeScanner : public VolumeScanner {
public:
    explicit FakeScanner(ScannerScript& script, ScanContext context = {})
        : script_(script), context_(std::move(context)) {}
    ~FakeScanner() override {
        if (script_.inside.load() != 0) script_.destroyedWhileInUse = true;
        ++script_.destroyed;
    }
    bool open(const PartitionRecord*) override {
        Inside in(script_);
        if (script_.openGate) script_.openGate->wait();
        if (script_.toldInOpen && context_.toldIncomplete) {
            context_.toldIncomplete(script_.toldInOpen);
        }
        for (int i = 0; i < script_.failedReadsInOpen; ++i) {
            if (context_.readFailed) context_.readFailed(4096u * (i + 1), 512);
            if (context_.showMessage) context_.showMessage("ReadFile() Error");
        }
        return script_.openResult;
    }
    bool hasItem(uint32_t index) override { return index < script_.items; }
    // Listed as "file<index>", <index> bytes, created 2020/1/2 03:04:06.
    bool describe(uint32_t index, DeletedFile& file) override {
        Inside in(script_);
        ++script_.describeCalls;
        script_.highestDescribed = index;
        auto gate = script_.describeGates.find(index);
        if (gate != script_.describeGates.end()) gate->second->wait();
        if (!script_.listable.count(index)) return false;
        file = DeletedFile{};
        file.name = "file" + std::to_string(index);
        file.path = script_.folder;
        file.size = index;
        file.created = CreationTime::fat((40 << 9) | (1 << 5) | 2, (3 << 11) | (4 << 5) | 3);
        return true;
    }
    bool readContent(uint32_t, ContentSink& sink) override {
        Inside in(script_);
        ++script_.readContentCalls;
        if (!script_.contentResult) return false;
        const std::vector<uint8_t>& content = script_.content;
        if (!sink.begin(content.size())) return false;
        int pieces = 0;
        for (size_t at = 0; at < content.size(); at += script_.pieceBytes) {
            if (pieces++ == script_.failAfterPieces) return false;
            const size_t n = std::min(script_.pieceBytes, content.size() - at);
            if (!sink.write(content.data() + at, n)) return false;
        }
        return true;
    }

private:
    struct Inside {
        explicit Inside(ScannerScript& s) : s_(s) { ++s_.inside; }
        ~Inside() { --s_.inside; }
        ScannerScript& s_;
    };
    ScannerScript& script_;
    ScanContext context_;
};

struct FileRow {
    uintptr_t data = 0;
    std::string texts[4];
};

// The view: the test thread plays the user-interface thread by holding the
// same lock that the worker's tasks run under.
class FakeView : public ShellView {
public:
    void runOnUiThread(const std::function<void()>& task) override {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        task();
    }
    void showMessageBox(const char* text) override {
        std::lock_guard<std::mutex> lock(messagesMutex_);
        messages.emplace_back(text);
    }
    bool askYesNo(const char*) override {
        ++questions;
        return yes;
    }
    void setScanCaption(const char* text) override { caption = text; }
    std::string scanCaption() override { return caption; }
    void setCounter(ControlId id, unsigned value) override { counters[id] = value; }
    void clearFileRows() override { rows.clear(); }
    void insertFileRow(int position, const char* number, uintptr_t data) override {
        FileRow row;
        row.data = data;
        row.texts[0] = number;
        rows.insert(rows.begin() + position, row);
    }
    void setFileRowText(int position, int column, const char* text) override {
        rows[static_cast<size_t>(position)].texts[column] = text;
    }
    int firstSelectedFileRow() override { return selectedFile; }
    std::vector<int> selectedFileRows() override { return selectedRows; }
    uintptr_t fileRowData(int position) override { return rows[static_cast<size_t>(position)].data; }
    const PartitionRecord* selectedPartitionRecord() override { return selectedPartition; }
    bool askSavePath(const FileFilter&, const char*, std::string& path) override {
        ++pathRequests;
        if (savePath.empty()) return false;
        path = savePath;
        return true;
    }

    // Runs `check` under the user-interface lock.
    template <typename F>
    auto ui(F f) -> decltype(f()) {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        return f();
    }

    std::vector<std::string> messageList() {
        std::lock_guard<std::mutex> lock(messagesMutex_);
        return messages;
    }

    std::string caption = "扫描";
    std::map<int, unsigned> counters;
    std::vector<FileRow> rows;
    int selectedFile = -1;
    std::vector<int> selectedRows;
    const PartitionRecord* selectedPartition = nullptr;
    std::string savePath;
    int pathRequests = 0;
    bool yes = false;  // the answer to every question
    int questions = 0;

private:
    std::recursive_mutex mutex_;
    std::mutex messagesMutex_;
    std::vector<std::string> messages;
};

}  // namespace undelete::test
