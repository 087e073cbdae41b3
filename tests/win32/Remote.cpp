#include "Remote.h"

#include <chrono>
#include <cstring>

namespace driver {

bool waitUntil(const std::function<bool()>& condition, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        Sleep(10);
    }
}

LRESULT sendTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool* ok) {
    DWORD_PTR result = 0;
    const LRESULT sent = SendMessageTimeoutA(window, message, wParam, lParam,
                                             SMTO_NORMAL, 20000, &result);
    if (ok != nullptr) *ok = sent != 0;
    return static_cast<LRESULT>(result);
}

std::string windowText(HWND window) {
    char text[1024] = {};
    sendTo(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    text[sizeof text - 1] = '\0';
    return text;
}

std::string className(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

namespace {

struct DialogSearch {
    DWORD pid;
    HWND owner;
    std::vector<HWND> found;
};

BOOL CALLBACK collectDialog(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<DialogSearch*>(context);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search->pid && IsWindowVisible(window) && className(window) == "#32770" &&
        GetWindow(window, GW_OWNER) == search->owner) {
        search->found.push_back(window);
    }
    return TRUE;
}

}  // namespace

std::vector<HWND> dialogsOf(DWORD pid, HWND owner) {
    DialogSearch search{pid, owner, {}};
    EnumWindows(collectDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> childrenOf(HWND parent, const char* cls) {
    std::vector<HWND> found;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (cls == nullptr || lstrcmpiA(className(child).c_str(), cls) == 0) found.push_back(child);
    }
    return found;
}

std::string staticTexts(HWND dialog) {
    std::string texts;
    for (HWND child : childrenOf(dialog, "Static")) {
        const std::string text = windowText(child);
        if (text.empty()) continue;
        if (!texts.empty()) texts += '|';
        texts += text;
    }
    return texts;
}

RemoteMemory::RemoteMemory(HANDLE process, size_t size) : process_(process), size_(size) {
    base_ = static_cast<char*>(
        VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
}

RemoteMemory::~RemoteMemory() {
    if (base_ != nullptr) VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
}

bool RemoteMemory::write(size_t offset, const void* data, size_t size) {
    SIZE_T done = 0;
    return base_ != nullptr && offset <= size_ && size <= size_ - offset &&
           WriteProcessMemory(process_, base_ + offset, data, size, &done) && done == size;
}

bool RemoteMemory::read(size_t offset, void* data, size_t size) {
    SIZE_T done = 0;
    return base_ != nullptr && offset <= size_ && size <= size_ - offset &&
           ReadProcessMemory(process_, base_ + offset, data, size, &done) && done == size;
}

namespace {
constexpr size_t kTextAt = 1024;  // the text buffer, behind the structure
constexpr int kTextBytes = 1024;
}  // namespace

int RemoteList::rowCount() {
    return static_cast<int>(sendTo(list_, LVM_GETITEMCOUNT, 0, 0));
}

std::string RemoteList::text(int row, int column) {
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = memory_.at(kTextAt);
    item.cchTextMax = kTextBytes;
    char text[kTextBytes + 1] = {};
    if (!memory_.write(0, &item, sizeof item) || !memory_.write(kTextAt, text, kTextBytes)) {
        return "<no memory>";
    }
    sendTo(list_, LVM_GETITEMTEXTA, static_cast<WPARAM>(row),
           reinterpret_cast<LPARAM>(memory_.at(0)));
    if (!memory_.read(kTextAt, text, kTextBytes)) return "<unreadable>";
    return text;
}

std::vector<std::string> RemoteList::row(int index, int columns) {
    std::vector<std::string> texts;
    for (int c = 0; c < columns; ++c) texts.push_back(text(index, c));
    return texts;
}

LPARAM RemoteList::itemData(int row) {
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.lParam = -1;
    if (!memory_.write(0, &item, sizeof item)) return -1;
    sendTo(list_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(memory_.at(0)));
    if (!memory_.read(0, &item, sizeof item)) return -1;
    return item.lParam;
}

void RemoteList::setState(int row, UINT state, UINT mask) {
    LVITEMA item{};
    item.stateMask = mask;
    item.state = state;
    if (!memory_.write(0, &item, sizeof item)) return;
    sendTo(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
           reinterpret_cast<LPARAM>(memory_.at(0)));
}

void RemoteList::select(int row) {
    setState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (row >= 0) addToSelection(row);
}

void RemoteList::addToSelection(int row) {
    setState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

int RemoteList::columnCount() {
    const HWND header = reinterpret_cast<HWND>(sendTo(list_, LVM_GETHEADER, 0, 0));
    return header == nullptr ? 0 : static_cast<int>(sendTo(header, HDM_GETITEMCOUNT, 0, 0));
}

std::string RemoteList::header(int column) {
    LVCOLUMNA info{};
    info.mask = LVCF_TEXT;
    info.pszText = memory_.at(kTextAt);
    info.cchTextMax = kTextBytes;
    char text[kTextBytes + 1] = {};
    if (!memory_.write(0, &info, sizeof info) || !memory_.write(kTextAt, text, kTextBytes)) {
        return "<no memory>";
    }
    if (!sendTo(list_, LVM_GETCOLUMNA, static_cast<WPARAM>(column),
                reinterpret_cast<LPARAM>(memory_.at(0)))) {
        return "<no column>";
    }
    if (!memory_.read(kTextAt, text, kTextBytes)) return "<unreadable>";
    return text;
}

int RemoteList::columnWidth(int column) {
    return static_cast<int>(sendTo(list_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
}

int RemoteList::stringWidth(const std::string& text) {
    if (text.size() >= kTextBytes || !memory_.write(kTextAt, text.c_str(), text.size() + 1)) {
        return -1;
    }
    return static_cast<int>(
        sendTo(list_, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(memory_.at(kTextAt))));
}

DWORD RemoteList::extendedStyle() {
    return static_cast<DWORD>(sendTo(list_, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
}

}  // namespace driver
