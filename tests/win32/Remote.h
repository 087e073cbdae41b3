// Reaching into the dialog's process from outside, as a user's tools would:
// windows found by class, owner and process; list views read and changed
// through a block of memory allocated in the target (their messages carry
// pointers that the target dereferences).
#pragma once
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace driver {

// Polls `condition` every 10 ms until it holds or `seconds` have passed.
bool waitUntil(const std::function<bool()>& condition, double seconds = 60);

// A send that cannot hang the driver: 0 (and `ok` false) after 20 s.
LRESULT sendTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool* ok = nullptr);

std::string windowText(HWND window);   // WM_GETTEXT, in the process code page
std::string className(HWND window);

// Visible top-level "#32770" windows of process `pid` owned by `owner`
// (null: no owner), in z-order.
std::vector<HWND> dialogsOf(DWORD pid, HWND owner);
// The children of `parent` of class `cls`, in z-order (direct children only).
std::vector<HWND> childrenOf(HWND parent, const char* cls);
// The texts of every "Static" child with a text.
std::string staticTexts(HWND dialog);

class RemoteMemory {
public:
    RemoteMemory(HANDLE process, size_t size);
    ~RemoteMemory();
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;

    bool ok() const { return base_ != nullptr; }
    char* at(size_t offset) const { return base_ + offset; }
    bool write(size_t offset, const void* data, size_t size);
    bool read(size_t offset, void* data, size_t size);

private:
    HANDLE process_;
    char* base_ = nullptr;
    size_t size_;
};

class RemoteList {
public:
    RemoteList(HWND list, HANDLE process) : list_(list), memory_(process, 4096) {}

    HWND handle() const { return list_; }
    int rowCount();
    std::string text(int row, int column);
    std::vector<std::string> row(int row, int columns);
    LPARAM itemData(int row);
    // Selects only `row` (−1: clears the selection).
    void select(int row);
    // Adds `row` to the selection.
    void addToSelection(int row);
    int columnCount();
    std::string header(int column);
    int columnWidth(int column);
    int stringWidth(const std::string& text);
    DWORD extendedStyle();

private:
    void setState(int row, UINT state, UINT mask);
    HWND list_;
    RemoteMemory memory_;
};

}  // namespace driver
