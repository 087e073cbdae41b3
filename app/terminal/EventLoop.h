// The user-interface thread's loop: it reads keys and mouse clicks, runs
// the tasks other threads hand over, and repaints. Every modal screen (the
// dialog, a message box, the save prompt) pulls its events from here, so
// worker updates go on while any of them waits for the user.
#pragma once
#include <atomic>
#include <chrono>
#include <vector>

#include "app/terminal/Curses.h"
#include "app/terminal/UiTaskQueue.h"

namespace undelete::terminal {

struct InputEvent {
    enum Kind { Key, Character, Click, Wheel } kind = Key;
    int key = 0;              // Key: a curses key code or a control character
    char32_t character = 0;   // Character: a printable character
    int row = 0, column = 0;  // Click, Wheel: where
    bool shift = false, control = false;
    int wheel = 0;  // Wheel: −1 up, +1 down
};

// Key codes of control characters as they arrive.
constexpr int kKeyTab = 9;
constexpr int kKeyEscape = 27;
constexpr int kKeyCtrlC = 3;
constexpr int kKeyCtrlQ = 17;
constexpr int kKeyCtrlU = 21;
bool isEnterKey(int key);
bool isBackspaceKey(int key);

// Something drawn over the screens below it.
class Layer {
public:
    virtual ~Layer() = default;
    virtual void draw() = 0;
    // Where the terminal cursor should blink, if anywhere.
    virtual bool cursorAt(int& /*row*/, int& /*column*/) const { return false; }
};

class EventLoop {
public:
    explicit EventLoop(UiTaskQueue& queue);

    // Starts and ends curses on the terminal.
    void startScreen();
    void endScreen();
    bool screenActive() const { return active_; }

    // Waits for the next input event, running handed-over tasks and
    // repainting meanwhile. False once the user has asked to close.
    bool next(InputEvent& event);

    // Repaints within the coalescing interval, or at once.
    void changed() { dirty_ = true; }
    void paintNow();
    // For long work on this thread (a save): repaints when the last paint
    // is older than the painting interval.
    void paintIfDue();

    // The screens drawn bottom to top; a modal screen pushes itself while
    // it waits and pops itself when done.
    void push(Layer* layer) { layers_.push_back(layer); }
    void pop() {
        if (!layers_.empty()) layers_.pop_back();
    }

    void requestClose() { closing_ = true; }
    bool closing() const { return closing_; }
    // The dialog closed because its terminal went away, not by the user.
    bool hungUp() const { return hungUp_; }

    // True when the terminal is too small to draw the dialog.
    bool tooSmall() const;

private:
    bool readInput(InputEvent& event);
    bool mouseEvent(InputEvent& event);
    void paint();

    UiTaskQueue& queue_;
    std::vector<Layer*> layers_;
    std::atomic<bool> closing_{false};
    bool hungUp_ = false;
    bool active_ = false;
    bool dirty_ = true;
    bool inputPending_ = true;
    std::chrono::steady_clock::time_point lastPaint_{};
};

}  // namespace undelete::terminal
