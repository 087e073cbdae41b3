// Drives undelete.exe from outside, as a user would, and checks what the
// dialog shows and does. Run under Wine by scripts/test-windows.
//
//   dialog-driver EXE DEMO_IMAGE MANY_IMAGE MANY_COUNT OUT_DIR [FOURK_DIR]
//   dialog-driver --screenshot EXE DEMO_IMAGE OUT.bmp
//
// DEMO_IMAGE is made by scripts/make-demo-image.sh (its originals lie in
// DEMO_IMAGE.files); MANY_IMAGE by tests/win32/make-many-files-image.sh,
// whose first partition's scan lists MANY_COUNT deleted files. OUT_DIR is
// an empty folder for saved files. FOURK_DIR, when given, is the folder
// tests/fixtures/make-4k-image.sh made (disk.img of 4096-byte sectors, its
// manifest and originals). The environment variable
// DIALOG_DAMAGED_UNIT_IMAGE names the image tests/win32/
// make-damaged-unit-image.sh made. Every wait is for a condition, with a
// deadline; the exit status is 0 only when every check passed.
#include "Remote.h"  // windows.h first

#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "Template.h"
#include "save/FileSystem.h"
#include "save/OutputFile.h"
#include "save/SaveService.h"

namespace {

using namespace driver;

int checks = 0;
int failures = 0;

bool check(bool ok, const std::string& what, const std::string& detail = "") {
    ++checks;
    if (!ok) {
        ++failures;
        std::printf("FAILED: %s%s%s\n", what.c_str(), detail.empty() ? "" : ": ",
                    detail.c_str());
        std::fflush(stdout);
    }
    return ok;
}

std::string join(const std::vector<std::string>& parts) {
    std::string s;
    for (const auto& p : parts) s += (s.empty() ? "" : "|") + p;
    return s;
}

// The dialog's texts.
const char kCaptionStart[] = "Corvantil e-mail:";
const char kScan[] = "扫描";
const char kStop[] = "停止";
const char kPreparing[] = "程序正在准备初始化，可能需要很长时间才能响应";
const char kReady[] = "初始化已经成功完成";
const char kUnsupported[] = "不支持的分区";
const char kSaveFailed[] = "保存失败";
const char kStopped[] = "扫描已停止：只列出了停止前找到的文件";

constexpr int kPartitionList = 1001, kSave = 1003, kScanButton = 1004, kFileList = 1005,
              kDeletedCount = 1006, kScannedCount = 1007;

std::string readFile(const std::string& path, bool* ok = nullptr) {
    std::string bytes;
    // Wide, so that a path past 260 characters is read too.
    HANDLE file = CreateFileW(undelete::systemPath(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (ok != nullptr) *ok = file != INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char block[65536];
    DWORD got = 0;
    while (ReadFile(file, block, sizeof block, &got, nullptr) && got > 0) bytes.append(block, got);
    CloseHandle(file);
    return bytes;
}

long long fileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return static_cast<long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

// "%d B" / "%0.1f KB" below one mebibyte.
std::string sizeText(long long n) {
    char text[32];
    if (n > 1024) {
        std::snprintf(text, sizeof text, "%0.1f KB", static_cast<double>(n) / 1024);
    } else {
        std::snprintf(text, sizeof text, "%lld B", n);
    }
    return text;
}

std::set<DWORD> threadsOf(DWORD pid) {
    std::set<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == pid) ids.insert(entry.th32ThreadID);
    }
    CloseHandle(snapshot);
    return ids;
}

HWND firstEdit(HWND parent) {
    for (HWND child : childrenOf(parent, nullptr)) {
        if (lstrcmpiA(className(child).c_str(), "Edit") == 0) return child;
        if (HWND inner = firstEdit(child)) return inner;
    }
    return nullptr;
}

class Dialog {
public:
    bool launch(const std::string& exe, const std::string& arguments) {
        std::string command = "\"" + exe + "\" " + arguments;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process_)) {
            return check(false, "start " + command, std::to_string(GetLastError()));
        }
        return true;
    }

    // Waits for dialog 101 of the started process.
    bool find() {
        const bool found = waitUntil([this] {
            for (HWND w : dialogsOf(pid(), nullptr)) {
                if (windowText(w).rfind(kCaptionStart, 0) == 0) {
                    window_ = w;
                    return true;
                }
            }
            return false;
        });
        if (!found) return check(false, "dialog 101 appears");
        partitions_ = std::make_unique<RemoteList>(item(kPartitionList), process_.hProcess);
        files_ = std::make_unique<RemoteList>(item(kFileList), process_.hProcess);
        return true;
    }

    DWORD pid() const { return process_.dwProcessId; }
    HANDLE process() const { return process_.hProcess; }
    HWND window() const { return window_; }
    HWND item(int id) const { return GetDlgItem(window_, id); }
    std::string text(int id) const { return windowText(item(id)); }
    RemoteList& partitions() { return *partitions_; }
    RemoteList& files() { return *files_; }

    // The notification code in the high word must not matter.
    void command(int id, WORD notification = BN_CLICKED) {
        PostMessageA(window_, WM_COMMAND, MAKEWPARAM(id, notification), 0);
    }

    // The message box of this process (no owner) showing `text`, answered
    // with OK. Its caption must be empty.
    bool answerMessage(const std::string& expected) {
        HWND box = nullptr;
        std::string seen;
        waitUntil([&] {
            for (HWND w : dialogsOf(pid(), nullptr)) {
                if (w == window_) continue;
                seen = staticTexts(w);
                if (!seen.empty()) {
                    box = w;
                    return true;
                }
            }
            return false;
        });
        if (!check(box != nullptr, "message box \"" + expected + "\" appears")) return false;
        check(seen == expected, "message box text", "got \"" + seen + "\", want \"" + expected + "\"");
        check(windowText(box).empty(), "message box caption is empty", windowText(box));
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        return waitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }) &&
               seen == expected;
    }

    bool waitCaption(const char* caption) {
        return check(waitUntil([&] { return text(kScanButton) == caption; }),
                     std::string("scan button reads ") + caption, text(kScanButton));
    }

    // Saves file row `row` (plus `alsoSelected`, which must not matter)
    // through the save-file dialog under `typedPath`. `confirmReplace`: the
    // dialog asks before it replaces an existing file; answer yes.
    bool save(int row, const std::string& typedPath, bool confirmReplace, int alsoSelected = -1) {
        files().select(row);
        if (alsoSelected >= 0) files().addToSelection(alsoSelected);
        command(kSave);
        HWND dialog = nullptr;
        waitUntil([&] {
            auto found = dialogsOf(pid(), window_);
            if (!found.empty()) dialog = found.front();
            return dialog != nullptr;
        });
        if (!check(dialog != nullptr, "save-file dialog appears")) return false;
        checkSaveDialog(dialog);
        // The file name: an edit inside the combo box cmb13 (older dialogs:
        // the edit edt1).
        HWND name = GetDlgItem(dialog, 0x480);
        if (HWND box = GetDlgItem(dialog, 0x47c)) name = firstEdit(box);
        if (!check(name != nullptr, "save-file dialog has a file name field")) return false;
        sendTo(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typedPath.c_str()));
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        if (confirmReplace) {
            HWND ask = nullptr;
            waitUntil([&] {
                auto found = dialogsOf(pid(), dialog);
                if (!found.empty()) ask = found.front();
                return ask != nullptr;
            });
            if (!check(ask != nullptr, "the dialog asks before replacing " + typedPath)) {
                return false;
            }
            PostMessageA(ask, WM_COMMAND, IDYES, 0);
        }
        if (!check(waitUntil([&] { return !IsWindow(dialog); }), "save-file dialog closes")) {
            return false;
        }
        // The save runs in the command's handler: a message sent now is
        // handled once it has ended (or a box it shows waits), so the file
        // is not read while it is being replaced.
        sendTo(window_, WM_NULL, 0, 0);
        return true;
    }

    bool close() {
        PostMessageA(window_, WM_CLOSE, 0, 0);
        const bool ended = WaitForSingleObject(process_.hProcess, 60000) == WAIT_OBJECT_0;
        DWORD status = 0;
        GetExitCodeProcess(process_.hProcess, &status);
        check(ended, "WM_CLOSE ends the process");
        return check(status == 1, "exit status is 1", std::to_string(status));
    }

    // Ends the process when a check left it running.
    ~Dialog() {
        if (process_.hProcess == nullptr) return;
        if (WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0) {
            TerminateProcess(process_.hProcess, 99);
        }
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }

private:
    void checkSaveDialog(HWND dialog) {
        HWND types = GetDlgItem(dialog, 0x470);  // cmb1: the file types
        if (!check(types != nullptr, "save-file dialog has a file type list")) return;
        // Asked in UTF-16: the dialog's controls are Unicode windows.
        std::wstring names;
        const int count = static_cast<int>(sendTo(types, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count && i < 8; ++i) {
            wchar_t text[256] = {};
            DWORD_PTR length = 0;
            SendMessageTimeoutW(types, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0, SMTO_NORMAL,
                                20000, &length);
            if (length < 255) {
                DWORD_PTR ignored = 0;
                SendMessageTimeoutW(types, CB_GETLBTEXT, static_cast<WPARAM>(i),
                                    reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 20000, &ignored);
            }
            names += (i > 0 ? L"|" : L"") + std::wstring(text);
        }
        check(names == L"文本文件 (*.txt)|所有文件 (*.*)", "save-file types");
        check(sendTo(types, CB_GETCURSEL, 0, 0) == 0, "the first file type is chosen");
    }

    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
    std::unique_ptr<RemoteList> partitions_;
    std::unique_ptr<RemoteList> files_;
};

// ---------------------------------------------------------------- template

struct ExpectedItem {
    int id;
    const wchar_t* cls;
    const wchar_t* text;
    int x, y, cx, cy;
    uint32_t style;
};

constexpr uint32_t kChild = WS_CHILD | WS_VISIBLE;
constexpr uint32_t kListStyle = kChild | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS |
                                LVS_ALIGNLEFT | LVS_NOSORTHEADER;
constexpr uint32_t kButtonStyle = kChild | WS_TABSTOP | BS_PUSHBUTTON;
constexpr uint32_t kLabelStyle = kChild | WS_GROUP | SS_LEFT;

const ExpectedItem kItems[] = {
    {1001, L"SysListView32", L"", 7, 7, 478, 61, kListStyle | LVS_SINGLESEL},
    {1003, L"Button", L"保存", 424, 174, 49, 15, kButtonStyle},
    {1005, L"SysListView32", L"", 7, 69, 478, 102, kListStyle},
    {1004, L"Button", L"扫描", 360, 174, 49, 15, kButtonStyle},
    {-1, L"Static", L",已删除文件:", 99, 180, 47, 9, kLabelStyle},
    {1006, L"Static", L"0", 145, 180, 46, 9, kLabelStyle},
    {-1, L"Static", L"已扫描文件:", 7, 180, 47, 9, kLabelStyle},
    {1007, L"Static", L"0", 53, 180, 46, 9, kLabelStyle},
};
const char* const kLiveTexts[] = {"", "保存", "", "扫描", ",已删除文件:", "0", "已扫描文件:", "0"};

void checkTemplate(const std::string& exe) {
    DialogTemplate t;
    if (!check(loadDialogTemplate(exe, 101, t), "dialog template 101 (Chinese, PRC) loads")) return;
    check(t.style == (WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME |
                      DS_SETFONT | DS_FIXEDSYS | DS_CENTER),
          "dialog style", std::to_string(t.style));
    check(t.exStyle == 0 && !t.hasMenu, "no extended style, no menu");
    check(t.x == 0 && t.y == 0 && t.cx == 492 && t.cy == 196, "dialog position and size");
    check(t.pointSize == 8 && t.font == L"MS Shell Dlg", "dialog font");
    check(t.caption == L"Corvantil e-mail:undelete-project@users.noreply.github.com",
          "dialog caption");
    if (!check(t.items.size() == 8, "eight controls", std::to_string(t.items.size()))) return;
    for (size_t i = 0; i < 8; ++i) {
        const TemplateItem& got = t.items[i];
        const ExpectedItem& want = kItems[i];
        const std::string which = "control " + std::to_string(i + 1);
        check(got.id == want.id, which + " id", std::to_string(got.id));
        check(lstrcmpiW(got.cls.c_str(), want.cls) == 0, which + " class");
        check(got.text == want.text, which + " text");
        check(got.x == want.x && got.y == want.y && got.cx == want.cx && got.cy == want.cy,
              which + " position and size");
        check(got.style == want.style, which + " style", std::to_string(got.style));
        check(got.exStyle == 0, which + " has no extended style");
    }
    const std::string manifest = loadManifest(exe);
    check(manifest.find("level=\"requireAdministrator\"") != std::string::npos,
          "the manifest asks for administrator rights");
    check(manifest.find("Common-Controls") == std::string::npos,
          "the manifest keeps the classic common controls");
}

void checkControls(Dialog& d) {
    size_t i = 0;
    for (HWND child = GetWindow(d.window(), GW_CHILD); child != nullptr && i < 8;
         child = GetWindow(child, GW_HWNDNEXT), ++i) {
        const std::string which = "live control " + std::to_string(i + 1);
        const int id = static_cast<int16_t>(GetDlgCtrlID(child));
        check(id == kItems[i].id, which + " id (template and tab order)", std::to_string(id));
        char cls[64];
        std::snprintf(cls, sizeof cls, "%ls", kItems[i].cls);
        check(lstrcmpiA(className(child).c_str(), cls) == 0, which + " class", className(child));
        check(windowText(child) == kLiveTexts[i], which + " text", windowText(child));
    }
    check(i == 8 && GetWindow(GetDlgItem(d.window(), 1007), GW_HWNDNEXT) == nullptr,
          "the dialog has exactly eight controls");
}

void checkColumns(Dialog& d) {
    const char* const partitionHeaders[] = {"序号", "文件系统", "标识", "起始柱面", "磁头",
                                            "扇区", "终止柱面", "磁头", "扇区", "容量"};
    RemoteList& p = d.partitions();
    check(p.columnCount() == 10, "partition list has ten columns");
    for (int c = 0; c < 10; ++c) {
        check(p.header(c) == partitionHeaders[c], "partition header " + std::to_string(c),
              p.header(c));
        const int measured = p.stringWidth(partitionHeaders[c]);
        check(measured > 0 && p.columnWidth(c) == measured + 40,
              "partition column " + std::to_string(c) + " is its header's width + 40",
              std::to_string(p.columnWidth(c)) + " vs " + std::to_string(measured));
    }
    check(p.columnWidth(4) == p.columnWidth(7) && p.columnWidth(5) == p.columnWidth(8),
          "equal headers, equal widths");
    const char* const fileHeaders[] = {"序号", "文件名", "创建时间", "大小"};
    const int fileWidths[] = {40, 200, 120, 60};
    RemoteList& f = d.files();
    check(f.columnCount() == 4, "file list has four columns");
    for (int c = 0; c < 4; ++c) {
        check(f.header(c) == fileHeaders[c], "file header " + std::to_string(c), f.header(c));
        check(f.columnWidth(c) == fileWidths[c], "file column width " + std::to_string(c),
              std::to_string(f.columnWidth(c)));
    }
    check(p.extendedStyle() == 33, "partition list: grid lines, full-row selection",
          std::to_string(p.extendedStyle()));
    check(f.extendedStyle() == 33, "file list: grid lines, full-row selection",
          std::to_string(f.extendedStyle()));
}

// ------------------------------------------------------------ demo image

std::vector<std::string> partitionRow(int number, const char* name, const char* code,
                                      unsigned first, unsigned sectors, const char* capacity) {
    auto chs = [](unsigned lba) {
        constexpr unsigned kPerCylinder = 255 * 63;
        return std::vector<std::string>{std::to_string(lba / kPerCylinder),
                                        std::to_string(lba % kPerCylinder / 63),
                                        std::to_string(lba % 63 + 1)};
    };
    std::vector<std::string> row = {std::to_string(number), name, code};
    for (auto& s : chs(first)) row.push_back(s);
    for (auto& s : chs(first + sectors - 1)) row.push_back(s);
    row.push_back(capacity);
    return row;
}

void checkPartitionRows(Dialog& d) {
    // The layout scripts/make-demo-image.sh writes: three primary
    // partitions, then the two logical ones of the extended partition (the
    // extended entry itself is no row).
    const std::vector<std::vector<std::string>> want = {
        partitionRow(0, "FAT32(活动)", "0C", 2048, 131072, "0.1 GB"),
        partitionRow(1, "NTFS", "07", 133120, 131072, "0.1 GB"),
        partitionRow(2, "FAT16", "06", 264192, 32768, "0.0 GB"),
        partitionRow(3, "exFAT", "07", 299008, 65536, "0.0 GB"),
        partitionRow(4, "UNKNOWN", "83", 366592, 16384, "0.0 GB"),
    };
    RemoteList& p = d.partitions();
    const int count = static_cast<int>(want.size());
    check(p.rowCount() == count, "five partition rows", std::to_string(p.rowCount()));
    for (int r = 0; r < count && r < p.rowCount(); ++r) {
        check(p.row(r, 10) == want[static_cast<size_t>(r)], "partition row " + std::to_string(r),
              join(p.row(r, 10)));
        check(p.itemData(r) != 0, "partition row carries its record");
    }
}

struct DeletedFile {
    std::string name;
    std::string original;  // path of the original
};

// Waits until the file list shows exactly `files` (in any order), with
// row numbers, sizes and time texts, and the scan has ended.
void checkListed(Dialog& d, const std::vector<DeletedFile>& files, const std::string& what) {
    std::set<std::string> want;
    for (const auto& f : files) want.insert(f.name);
    std::set<std::string> got;
    const bool done = waitUntil([&] {
        if (d.text(kScanButton) != kScan) return false;
        got.clear();
        for (int r = 0; r < d.files().rowCount(); ++r) got.insert(d.files().text(r, 1));
        return got == want;
    });
    std::string gotText;
    for (const auto& n : got) gotText += n + "|";
    if (!check(done, what + ": the deleted files are listed", gotText)) return;
    RemoteList& f = d.files();
    check(d.text(kDeletedCount) == std::to_string(files.size()), what + ": deleted-file counter",
          d.text(kDeletedCount));
    for (int r = 0; r < f.rowCount(); ++r) {
        const std::vector<std::string> row = f.row(r, 4);
        check(row[0] == std::to_string(r), what + ": row number", row[0]);
        int year = 0, month = 0, day = 0, h = 0, m = 0, s = 0;
        check(std::sscanf(row[2].c_str(), "%d/%d/%d %d:%d:%d", &year, &month, &day, &h, &m, &s) == 6 &&
                  year >= 2020,
              what + ": creation time text", row[2]);
        for (const auto& file : files) {
            if (file.name == row[1]) {
                check(row[3] == sizeText(fileSize(file.original)), what + ": size of " + row[1],
                      row[3]);
            }
        }
    }
}

int rowNamed(Dialog& d, const std::string& name) {
    for (int r = 0; r < d.files().rowCount(); ++r) {
        if (d.files().text(r, 1) == name) return r;
    }
    return -1;
}

bool sameContent(const std::string& saved, const std::string& original, const std::string& what) {
    bool readable = false;
    const std::string want = readFile(original);
    // The write finishes on the dialog's thread before the save returns.
    waitUntil([&] { return fileSize(saved) == static_cast<long long>(want.size()); });
    const std::string got = readFile(saved, &readable);
    check(readable, what + ": saved file exists", saved);
    return check(!want.empty() && got == want, what + ": saved bytes equal the original",
                 std::to_string(got.size()) + " bytes vs " + std::to_string(want.size()));
}

// The save's file writer on this system: content with holes (a sparse
// file's runs) reads back with zeros in them and its whole length, whether
// or not the file system keeps them as holes.
void checkHoles(const std::string& out) {
    const std::string path = out + "\\holes.bin";
    const uint8_t head[] = {'h', 'e', 'a', 'd'}, tail[] = {'t', 'a', 'i', 'l'};
    constexpr uint64_t kGap = 3u << 20, kEndGap = 5000;
    undelete::OutputFile file;
    const bool written = file.create(path) &&
                         file.begin(sizeof head + kGap + sizeof tail + kEndGap) &&
                         file.write(head, sizeof head) && file.skip(kGap) &&
                         file.write(tail, sizeof tail) && file.skip(kEndGap) && file.finish();
    check(written, "a file with holes is written");
    const std::string want = std::string("head") + std::string(kGap, '\0') + "tail" +
                             std::string(kEndGap, '\0');
    check(readFile(path) == want, "its holes read back as zeros, its length whole");
}

// Names Windows refuses or takes for a device, and one too long for it,
// saved by the recovery service as the dialog's saves are: each lands in a
// file of its own under a name Windows keeps, with its bytes.
void checkWindowsNames(const std::string& out) {
    const undelete::SaveService recovery("");
    const std::string folder = out + "\\names";
    const std::string longName(300, 'x');
    const struct {
        std::string name, path, saved;
    } cases[] = {
        {"CON", "/", "CON_"},
        {"NUL.txt", "/", "NUL_.txt"},
        {"com1.tar.gz", "/", "com1_.tar.gz"},
        {"trail.", "/", "trail_"},
        {"space ", "/", "space_"},
        {"a:b?.txt", "/", "a_b_.txt"},
        {"in folder.txt", "/AUX/dots./", "AUX_\\dots_\\in folder.txt"},
        {longName + ".txt", "/", std::string(251, 'x') + ".txt"},
    };
    for (const auto& c : cases) {
        undelete::DeletedFile file;
        file.name = c.name;
        file.path = c.path;
        const std::string content = "the bytes of " + c.name;
        const auto source = [&content](undelete::ContentSink& sink) {
            return sink.begin(content.size()) &&
                   sink.write(reinterpret_cast<const uint8_t*>(content.data()), content.size());
        };
        const undelete::SaveReport report = recovery.saveInto(folder, file, 0, source);
        const std::string want = folder + "\\" + c.saved;
        check(report.outcome == undelete::SaveOutcome::Saved && report.path == want,
              "\"" + c.name.substr(0, 20) + "\" is saved as " + c.saved.substr(0, 20), report.path);
        const DWORD attributes = GetFileAttributesW(undelete::systemPath(want).c_str());
        check(attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                  readFile(want) == content,
              c.saved.substr(0, 20) + " is a file with the content");
    }
}

void demoSession(const std::string& exe, const std::string& image, const std::string& out) {
    const std::string originals = image + ".files\\";
    Dialog d;
    if (!d.launch(exe, "\"" + image + "\"") || !d.find()) return;
    checkControls(d);
    checkColumns(d);
    checkPartitionRows(d);
    check(d.text(kScannedCount) == "0" && d.text(kDeletedCount) == "0", "counters start at 0");
    check(d.files().rowCount() == 0, "file list starts empty");

    // Escape and Enter (as keys, and as the commands they become) must not
    // close the dialog. The scan command posted behind them shows that
    // they have been handled.
    d.partitions().select(0);
    for (HWND target : {d.window(), d.item(kPartitionList)}) {
        for (WPARAM key : {VK_ESCAPE, VK_RETURN}) {
            PostMessageA(target, WM_KEYDOWN, key, 1);
            PostMessageA(target, WM_KEYUP, key, 0xC0000001);
        }
    }
    d.command(IDCANCEL);
    d.command(IDOK);
    d.command(kScanButton);

    // FAT32: two messages around the catalogue, then the listing.
    const bool preparing = d.answerMessage(kPreparing);
    check(IsWindow(d.window()) && WaitForSingleObject(d.process(), 0) == WAIT_TIMEOUT,
          "Escape and Enter leave the dialog open");
    if (!preparing) return;
    check(d.text(kScanButton) == kStop, "the scan button reads 停止 while scanning");
    d.answerMessage(kReady);
    const std::vector<DeletedFile> fat = {
        {"报告.txt", originals + "fat32\\报告.txt"},
        {"Budget-2024.csv", originals + "fat32\\Budget-2024.csv"},
        {"照片说明.txt", originals + "fat32\\Docs\\照片说明.txt"},
        {"Meeting Notes.txt", originals + "fat32\\Docs\\Meeting Notes.txt"},
    };
    checkListed(d, fat, "FAT32 scan");
    check(d.text(kScannedCount) == "4", "FAT32 scan: every catalogue item examined",
          d.text(kScannedCount));

    // Saving: only the first selected row; a name without extension gets
    // .txt; saving again over the same file replaces it.
    const int report = rowNamed(d, "报告.txt");
    const int budget = rowNamed(d, "Budget-2024.csv");
    if (report >= 0 && budget >= 0) {
        const int first = report < budget ? report : budget;
        const int second = report < budget ? budget : report;
        const std::string firstName = first == report ? "报告.txt" : "Budget-2024.csv";
        const std::string firstOriginal =
            first == report ? fat[0].original : fat[1].original;
        if (d.save(first, out + "\\first", false, second)) {
            sameContent(out + "\\first.txt", firstOriginal, "FAT32 " + firstName);
        }
        if (d.save(report, out + "\\报告.txt", false)) {
            sameContent(out + "\\报告.txt", fat[0].original, "FAT32 报告.txt");
        }
        if (d.save(report, out + "\\报告.txt", true)) {
            sameContent(out + "\\报告.txt", fat[0].original, "FAT32 报告.txt saved twice");
        }
        // A device name chosen in the save-file dialog is no device. (Wine's
        // dialog takes the device for a file there and asks to replace it.)
        if (d.save(report, out + "\\NUL.txt", true)) {
            sameContent(out + "\\NUL_.txt", fat[0].original, "FAT32 报告.txt saved as NUL.txt");
        }
    }

    // The image itself cannot be written while the dialog reads it.
    const std::string head = readFile(image).substr(0, 1 << 20);
    const long long imageSize = fileSize(image);
    if (report >= 0 && d.save(report, image, true)) {
        d.answerMessage(kSaveFailed);
        check(fileSize(image) == imageSize && readFile(image).substr(0, 1 << 20) == head,
              "saving over the disk image leaves it unchanged");
    }

    // NTFS: the record count comes from the volume's own $MFT record.
    d.partitions().select(1);
    d.command(kScanButton, 0x1234);
    const std::vector<DeletedFile> ntfs = {
        {"说明.txt", originals + "ntfs\\说明.txt"},
        {"Report-2024.txt", originals + "ntfs\\Report-2024.txt"},
        {"日志.log", originals + "ntfs\\日志.log"},
    };
    checkListed(d, ntfs, "NTFS scan");
    check(std::atoi(d.text(kScannedCount).c_str()) >= 24, "NTFS scan: the table's records examined",
          d.text(kScannedCount));
    const int log = rowNamed(d, "日志.log");
    if (log >= 0 && d.save(log, out + "\\日志.log", false)) {
        sameContent(out + "\\日志.log", ntfs[2].original, "NTFS 日志.log");
    }

    // Unsupported types: a message, the switch back to idle, the rows of
    // the last scan kept.
    d.partitions().select(4);
    d.command(kScanButton);
    d.answerMessage(kUnsupported);
    d.waitCaption(kScan);
    check(d.files().rowCount() == 3, "an unsupported scan keeps the last rows");
    d.close();
}

// ------------------------------------------- stopping at the first message

// Scans the selected FAT partition and presses Stop while the walk's first
// message is still up: after OK nothing is walked, no success is told, the
// stop is, and the list is empty with both counters at 0.
void stopAtFirstMessage(Dialog& d, const std::string& what) {
    d.command(kScanButton);
    const bool shown = waitUntil([&] {
        for (HWND w : dialogsOf(d.pid(), nullptr)) {
            if (w != d.window() && staticTexts(w) == kPreparing) return true;
        }
        return false;
    });
    if (!check(shown, what + ": the first message appears")) return;
    d.command(kScanButton);
    d.waitCaption(kScan);
    d.answerMessage(kPreparing);
    d.answerMessage(kStopped);  // and not "初始化已经成功完成"
    check(waitUntil([&] {
              return d.text(kScannedCount) == "0" && d.text(kDeletedCount) == "0" &&
                     d.files().rowCount() == 0;
          }, 10),
          what + ": stopped at the first message, nothing is listed",
          d.text(kScannedCount) + "/" + d.text(kDeletedCount) + "/" +
              std::to_string(d.files().rowCount()));
}

// The demo disk's FAT32 root holds deleted files itself: a walk that began
// after the stop would list them.
void stopAtFirstMessageSession(const std::string& exe, const std::string& image) {
    Dialog d;
    if (!d.launch(exe, "\"" + image + "\"") || !d.find()) return;
    d.partitions().select(0);
    stopAtFirstMessage(d, "demo disk");
    d.close();
}

// --------------------------------------------------- stopping a long scan

// Waits until every thread the process started after `before` has ended.
bool workersEnded(Dialog& d, const std::set<DWORD>& before) {
    return waitUntil([&] {
        for (DWORD id : threadsOf(d.pid())) {
            if (before.count(id) == 0) return false;
        }
        return true;
    });
}

int counter(Dialog& d, int id) {
    return std::atoi(d.text(id).c_str());
}

void stopSession(const std::string& exe, const std::string& image, int catalogue) {
    Dialog d;
    if (!d.launch(exe, "\"" + image + "\"") || !d.find()) return;
    const std::set<DWORD> idle = threadsOf(d.pid());
    d.partitions().select(0);

    // Stop while rows are listed.
    d.command(kScanButton);
    if (!d.answerMessage(kPreparing) || !d.answerMessage(kReady)) return;
    int seen = 0;
    check(waitUntil([&] { return (seen = counter(d, kScannedCount)) > 0; }),
          "long scan: the scanned counter moves");
    check(waitUntil([&] { return counter(d, kScannedCount) > seen; }),
          "long scan: the scanned counter keeps moving");
    d.command(kScanButton);
    d.waitCaption(kScan);
    d.answerMessage(kStopped);
    check(workersEnded(d, idle), "the stopped worker ends");
    const int scanned = counter(d, kScannedCount);
    const int listed = counter(d, kDeletedCount);
    check(scanned < catalogue, "Stop ends the scan before the catalogue's end",
          std::to_string(scanned) + " of " + std::to_string(catalogue));
    check(listed > 0 && listed <= scanned + 1 && d.files().rowCount() == listed,
          "every listed row is counted", std::to_string(listed) + " counted, " +
              std::to_string(d.files().rowCount()) + " rows");
    std::printf("stopped after %d of %d items, %d rows listed\n", scanned, catalogue, listed);
    const int last = d.files().rowCount() - 1;
    check(last >= 0 && d.files().text(last, 0) == std::to_string(last), "rows are numbered");

    // Stop while the first message is up: the list is still cleared, and
    // nothing is listed.
    stopAtFirstMessage(d, "many files");
    check(workersEnded(d, idle), "the worker stopped in its preparation ends");
    d.close();
}

// ------------------------------------------------------ a card's FAT16

// Row 1 of the many-files disk: a FAT16 partition, named by its boot
// sector, scanned like FAT32, its deleted file saved as it was.
void cardSession(const std::string& exe, const std::string& image, const std::string& out) {
    const std::string name = "相机照片说明.txt";
    const std::string original = image.substr(0, image.rfind('\\') + 1) + "card\\DCIM\\" + name;
    Dialog d;
    if (!d.launch(exe, "\"" + image + "\"") || !d.find()) return;
    RemoteList& p = d.partitions();
    check(p.rowCount() == 2 && p.text(1, 1) == "FAT16" && p.text(1, 2) == "06",
          "card: the FAT16 row is named by its boot sector",
          p.rowCount() > 1 ? join(p.row(1, 10)) : std::to_string(p.rowCount()));
    p.select(1);
    d.command(kScanButton);
    if (!d.answerMessage(kPreparing) || !d.answerMessage(kReady)) return;
    check(waitUntil([&] { return d.text(kScanButton) == kScan && rowNamed(d, name) >= 0; }),
          "card: the FAT16 scan lists the deleted file");
    const int row = rowNamed(d, name);
    if (row >= 0 && d.save(row, out + "\\card.txt", false)) {
        sameContent(out + "\\card.txt", original, "FAT16 " + name);
    }
    d.close();
}

// ------------------------------------------------------------ a lossy save

// IMAGE is made by tests/win32/make-damaged-unit-image.sh: row 0 (NTFS)
// holds the deleted, compressed packed.txt, one of whose units does not
// decode. The save says so, then tells the bytes written as zeros in the
// lossy-save box, and the file holds all the rest (IMAGE's folder holds
// what it must be, expected.txt).
void lossySaveSession(const std::string& exe, const std::string& image, const std::string& out) {
    const char damaged[] = "文件的压缩数据有损坏之处：无法解压的部分已写为零";
    const char lossy[] = "文件已保存，但其中 65536 字节无法从磁盘读取，已写为零。";
    const std::string expected = image.substr(0, image.rfind('\\') + 1) + "expected.txt";
    Dialog d;
    if (!d.launch(exe, "\"" + image + "\"") || !d.find()) return;
    d.partitions().select(0);
    d.command(kScanButton);
    check(waitUntil([&] { return d.text(kScanButton) == kScan && rowNamed(d, "packed.txt") >= 0; }),
          "lossy save: the NTFS scan lists packed.txt");
    const int row = rowNamed(d, "packed.txt");
    if (row >= 0 && d.save(row, out + "\\packed.txt", false) && d.answerMessage(damaged) &&
        d.answerMessage(lossy)) {
        sameContent(out + "\\packed.txt", expected, "lossy save: the unit as zeros, the rest whole");
    }
    d.close();
}

// -------------------------------------------------- 4096-byte sectors

// UTF-8 (the manifest's names) in the process code page (the list's).
std::string fromUtf8(const std::string& text) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (n <= 0) return std::string();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], n);
    const int m = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (m <= 0) return std::string();
    std::string narrow(static_cast<size_t>(m), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &narrow[0], m, nullptr, nullptr);
    narrow.resize(static_cast<size_t>(m - 1));
    return narrow;
}

// The disk of 4096-byte sectors read as an image file, through the drive
// that takes whole sectors only (a GPT header at byte 4096 tells the size):
// every deleted file its manifest lists for disk.img, on the NTFS row (a
// table of 4096-byte records) and the FAT32 one, is listed and saved exact.
void fourKSession(const std::string& exe, const std::string& dir, const std::string& out) {
    struct Listed {
        int row;
        std::string name, original;
    };
    std::vector<Listed> files;
    std::istringstream manifest(readFile(dir + "\\manifest.tsv"));
    for (std::string line; std::getline(manifest, line);) {
        std::istringstream columns(line);
        std::vector<std::string> fields;
        for (std::string field; std::getline(columns, field, '\t');) fields.push_back(field);
        if (fields.size() != 5 || fields[0] != "disk.img") continue;
        std::string original = fields[4];
        for (char& c : original) c = c == '/' ? '\\' : c;
        files.push_back({std::atoi(fields[1].c_str()), fromUtf8(fields[2]), dir + "\\" + original});
    }
    if (!check(files.size() == 4, "4096-byte disk: its manifest names four files",
               std::to_string(files.size()))) {
        return;
    }
    Dialog d;
    if (!d.launch(exe, "\"" + dir + "\\disk.img\"") || !d.find()) return;
    RemoteList& p = d.partitions();
    check(p.rowCount() == 2 && p.text(0, 1) == "NTFS" && p.text(1, 1) == "FAT32",
          "4096-byte disk: an NTFS and a FAT32 row",
          p.rowCount() > 1 ? p.text(0, 1) + "|" + p.text(1, 1) : std::to_string(p.rowCount()));
    int saved = 0;
    for (int row = 0; row < 2 && row < p.rowCount(); ++row) {
        p.select(row);
        d.command(kScanButton);
        if (row == 1 && (!d.answerMessage(kPreparing) || !d.answerMessage(kReady))) return;
        for (const Listed& file : files) {
            if (file.row != row) continue;
            const std::string what = "4096-byte disk row " + std::to_string(row) + " " + file.name;
            if (!check(waitUntil([&] {
                           return d.text(kScanButton) == kScan && rowNamed(d, file.name) >= 0;
                       }),
                       what + " is listed")) {
                continue;
            }
            const std::string path = out + "\\4k-" + std::to_string(saved++) + ".bin";
            if (d.save(rowNamed(d, file.name), path, false)) sameContent(path, file.original, what);
        }
    }
    d.close();
}

// ------------------------------------------------------ a table gone

// The demo disk with sector 0 zeroed: "未找到分区表", then the volumes the
// search finds by their boot sectors are added as rows in the list's own
// look, and a found row scans like a table's.
void wipedTableSession(const std::string& exe, const std::string& demo, const std::string& out) {
    const std::string wiped = out + "\\wiped.img";
    if (!check(CopyFileA(demo.c_str(), wiped.c_str(), FALSE) != 0, "copy of the demo disk",
               std::to_string(GetLastError()))) {
        return;
    }
    HANDLE file = CreateFileA(wiped.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const char zeros[512] = {};
    DWORD written = 0;
    const bool zeroed = file != INVALID_HANDLE_VALUE &&
                        WriteFile(file, zeros, sizeof zeros, &written, nullptr) &&
                        written == sizeof zeros;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (!check(zeroed, "sector 0 of the copy zeroed")) return;

    Dialog d;
    if (!d.launch(exe, "\"" + wiped + "\"") || !d.answerMessage("未找到分区表") || !d.find()) {
        return;
    }
    RemoteList& p = d.partitions();
    const std::vector<std::vector<std::string>> want = {
        partitionRow(0, "FAT32", "-", 2048, 131072, "0.1 GB"),
        partitionRow(1, "NTFS", "-", 133120, 131072, "0.1 GB"),
        partitionRow(2, "FAT16", "-", 264192, 32768, "0.0 GB"),
        partitionRow(3, "exFAT", "-", 299008, 65536, "0.0 GB"),
    };
    check(waitUntil([&] { return p.rowCount() == 4; }), "wiped table: the four volumes found are rows",
          std::to_string(p.rowCount()));
    for (int r = 0; r < 4 && r < p.rowCount(); ++r) {
        check(p.row(r, 10) == want[static_cast<size_t>(r)], "found row " + std::to_string(r),
              join(p.row(r, 10)));
        check(p.itemData(r) != 0, "found row carries its record");
    }
    p.select(0);
    d.command(kScanButton);
    if (d.answerMessage(kPreparing) && d.answerMessage(kReady)) {
        check(waitUntil([&] { return d.text(kScanButton) == kScan && d.text(kDeletedCount) == "4"; }),
              "wiped table: the found FAT32 row scans", d.text(kDeletedCount));
    }
    d.close();
}

// ---------------------------------------------------------- bad arguments

void argumentSession(const std::string& exe, const std::string& arguments, const char* message) {
    Dialog d;
    if (!d.launch(exe, arguments)) return;
    if (d.answerMessage(message)) {
        const bool ended = WaitForSingleObject(d.process(), 60000) == WAIT_OBJECT_0;
        DWORD status = 0;
        GetExitCodeProcess(d.process(), &status);
        check(ended && status == 1, "a refused argument ends with status 1");
    }
}

// ------------------------------------------------------------- screenshot

// Writes the screen area of `window` as a 24-bit BMP.
bool captureWindow(HWND window, const std::string& path) {
    RECT r{};
    if (!GetWindowRect(window, &r)) return false;
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = w;
    info.biHeight = h;  // bottom-up, as BMP files store it
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    std::vector<char> pixels(stride * static_cast<DWORD>(h));
    const int lines = GetDIBits(memory, bitmap, 0, static_cast<UINT>(h), pixels.data(),
                                reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (lines != h) return false;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return false;
    bool ok = std::fwrite(&file, sizeof file, 1, out) == 1 &&
              std::fwrite(&info, sizeof info, 1, out) == 1 &&
              std::fwrite(pixels.data(), pixels.size(), 1, out) == 1;
    ok = std::fclose(out) == 0 && ok;
    return ok;
}

// The dialog after a FAT32 scan of partition row `row` (of the demo disk
// by default), one file row selected.
int screenshot(const std::string& exe, const std::string& image, const std::string& bmp,
               int row) {
    Dialog d;
    if (!d.launch(exe, "\"" + image + "\"") || !d.find()) return 1;
    d.partitions().select(row);
    d.command(kScanButton);
    if (!d.answerMessage(kPreparing) || !d.answerMessage(kReady)) return 1;
    if (!waitUntil([&] { return d.text(kScanButton) == kScan && d.files().rowCount() > 0; })) {
        return 1;
    }
    d.files().select(0);
    RedrawWindow(d.window(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(1000);  // let the X server show the last paint; the picture is not a check
    const bool ok = captureWindow(d.window(), bmp);
    d.close();
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if ((argc == 5 || argc == 6) && std::strcmp(argv[1], "--screenshot") == 0) {
        return screenshot(argv[2], argv[3], argv[4], argc == 6 ? std::atoi(argv[5]) : 0);
    }
    if (argc != 6 && argc != 7) {
        std::fprintf(stderr,
                     "usage: dialog-driver EXE DEMO_IMAGE MANY_IMAGE MANY_COUNT OUT_DIR [FOURK_DIR]\n");
        return 2;
    }
    const std::string exe = argv[1], demo = argv[2], many = argv[3], out = argv[5];
    const int manyCount = std::atoi(argv[4]);

    std::printf("== template\n");
    checkTemplate(exe);
    std::printf("== saving with holes\n");
    checkHoles(out);
    std::printf("== names Windows refuses\n");
    checkWindowsNames(out);
    std::printf("== demo disk: controls, partitions, scans, saving\n");
    std::fflush(stdout);
    demoSession(exe, demo, out);
    std::printf("== stopping at the first message\n");
    std::fflush(stdout);
    stopAtFirstMessageSession(exe, demo);
    std::printf("== long scan: stopping\n");
    std::fflush(stdout);
    stopSession(exe, many, manyCount);
    std::printf("== a card's FAT16\n");
    std::fflush(stdout);
    cardSession(exe, many, out);
    std::printf("== a lossy save\n");
    std::fflush(stdout);
    const char* damagedImage = std::getenv("DIALOG_DAMAGED_UNIT_IMAGE");
    if (check(damagedImage != nullptr && *damagedImage != '\0',
              "DIALOG_DAMAGED_UNIT_IMAGE names the damaged-unit image")) {
        lossySaveSession(exe, damagedImage, out);
    }
    if (argc == 7) {
        std::printf("== 4096-byte sectors\n");
        std::fflush(stdout);
        fourKSession(exe, argv[6], out);
    }
    std::printf("== a wiped table: found volumes\n");
    std::fflush(stdout);
    wipedTableSession(exe, demo, out);
    std::printf("== arguments\n");
    std::fflush(stdout);
    const std::string missing = out + "\\no-such-disk.img";
    argumentSession(exe, "\"" + missing + "\"", ("无法读取磁盘映像文件: " + missing).c_str());
    const char usage[] = "用法: undelete.exe [物理驱动器号 | 磁盘映像文件]";
    argumentSession(exe, "1 2", usage);
    argumentSession(exe, "1234", usage);
    // A drive number is no image path: drive 7 does not exist here, so the
    // walk says it cannot open it and the dialog opens with an empty
    // partition list.
    {
        Dialog d;
        if (d.launch(exe, "7") && d.answerMessage("CreateFile() Error") && d.find()) {
            check(d.partitions().rowCount() == 0, "drive 7: no partition rows");
            d.close();
        }
    }

    std::printf("dialog driver: %d checks, %d failed\n", checks, failures);
    return failures == 0 ? 0 : 1;
}
