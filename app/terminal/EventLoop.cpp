#include "app/terminal/EventLoop.h"

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/Language.h"
#include "app/terminal/Canvas.h"
#include "app/terminal/DialogLayout.h"
#include "app/terminal/TextCells.h"

namespace undelete::terminal {
namespace {

// While a worker hands over updates without pause, the screen is painted
// this often (and the keyboard looked at): a scan of a large table is not
// held up by painting every row.
constexpr std::chrono::milliseconds kPaintInterval{30};
// A worker that pauses this long has handed over all it had for now. The
// screen is still painted only once per interval: on a busy machine a
// worker pauses often, and painting at every pause would feed the terminal
// more output than the scan is worth.
constexpr std::chrono::microseconds kIdleWait{2000};

int millisecondsUntil(std::chrono::steady_clock::duration left) {
    return static_cast<int>(
               std::chrono::duration_cast<std::chrono::milliseconds>(left).count()) +
           1;
}

// Every button event is asked for, though only presses of the first button
// and the wheel are used: curses drops an event outside the mask by reading
// on for the next one, blocking even in no-delay mode, which would stall
// the loop (and every worker waiting on it) after each button release.
const mmask_t kMouseEvents = ALL_MOUSE_EVENTS;

void drawTooSmall() {
    char text[96];
    std::snprintf(text, sizeof text, tr("终端窗口太小，至少需要 %d 列 × %d 行。"),
                  kMinimumColumns, kMinimumRows);
    const std::vector<std::string> lines = wrapToWidth(text, COLS);
    int row = (LINES - static_cast<int>(lines.size())) / 2;
    for (const std::string& line : lines) {
        drawText(row++, (COLS - displayWidth(line)) / 2, line, COLS);
    }
}

}  // namespace

bool isEnterKey(int key) {
    return key == '\n' || key == '\r' || key == KEY_ENTER;
}

bool isBackspaceKey(int key) {
    return key == KEY_BACKSPACE || key == 127 || key == 8;
}

EventLoop::EventLoop(UiTaskQueue& queue) : queue_(queue) {}

void EventLoop::startScreen() {
    raw();  // Ctrl-Q and Ctrl-C arrive as keys, not as flow control or signals
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    nodelay(stdscr, TRUE);
    set_escdelay(25);
    curs_set(0);
    mousemask(kMouseEvents, nullptr);
    mouseinterval(0);
    initLooks();
    active_ = true;
    paintNow();
}

void EventLoop::endScreen() {
    if (!active_) return;
    active_ = false;
    mousemask(0, nullptr);
    endwin();
}

bool EventLoop::tooSmall() const {
    return LINES < kMinimumRows || COLS < kMinimumColumns;
}

void EventLoop::paintNow() {
    dirty_ = true;
    paint();
}

void EventLoop::paintIfDue() {
    dirty_ = true;
    if (std::chrono::steady_clock::now() - lastPaint_ >= kPaintInterval) paint();
}

void EventLoop::paint() {
    if (!active_) return;
    erase();
    int cursorRow = 0, cursorColumn = 0;
    bool showCursor = false;
    if (tooSmall()) {
        drawTooSmall();
    } else {
        for (Layer* layer : layers_) layer->draw();
        showCursor = !layers_.empty() && layers_.back()->cursorAt(cursorRow, cursorColumn);
    }
    curs_set(showCursor ? 1 : 0);
    if (showCursor) move(cursorRow, cursorColumn);
    wnoutrefresh(stdscr);
    doupdate();
    dirty_ = false;
    lastPaint_ = std::chrono::steady_clock::now();
}

bool EventLoop::mouseEvent(InputEvent& event) {
    MEVENT mouse{};
    if (getmouse(&mouse) != OK) return false;
    event.row = mouse.y;
    event.column = mouse.x;
    event.shift = (mouse.bstate & BUTTON_SHIFT) != 0;
    event.control = (mouse.bstate & BUTTON_CTRL) != 0;
    if (mouse.bstate & (BUTTON1_PRESSED | BUTTON1_CLICKED)) {
        event.kind = InputEvent::Click;
        return true;
    }
    if (mouse.bstate & (BUTTON4_PRESSED | BUTTON5_PRESSED)) {
        event.kind = InputEvent::Wheel;
        event.wheel = (mouse.bstate & BUTTON4_PRESSED) ? -1 : 1;
        return true;
    }
    return false;
}

bool EventLoop::readInput(InputEvent& event) {
    for (;;) {
        wint_t code = 0;
        const int kind = wget_wch(stdscr, &code);
        if (kind == ERR) return false;
        event = InputEvent{};
        if (kind == KEY_CODE_YES) {
            if (code == KEY_MOUSE) {
                if (mouseEvent(event)) return true;
                continue;  // a mouse event nobody uses
            }
            event.kind = InputEvent::Key;
            event.key = static_cast<int>(code);
        } else if (code < 0x20 || code == 0x7F) {
            event.kind = InputEvent::Key;
            event.key = static_cast<int>(code);
        } else {
            event.kind = InputEvent::Character;
            event.character = static_cast<char32_t>(code);
        }
        return true;
    }
}

bool EventLoop::next(InputEvent& event) {
    // What the last event changed is shown before waiting for the next.
    if (dirty_) paint();
    for (;;) {
        const auto start = std::chrono::steady_clock::now();
        bool paused = true;  // the worker's updates, if any, have paused
        if (queue_.runWhileBusy(start + kPaintInterval, kIdleWait)) {
            dirty_ = true;
            paused = std::chrono::steady_clock::now() < start + kPaintInterval;
        }
        if (closing_) return false;
        InputEvent input;
        // Curses is asked only when the terminal has sent something (or a
        // signal such as a resize came): most wake-ups are worker tasks.
        while (inputPending_ && readInput(input)) {
            if (input.kind == InputEvent::Key) {
                if (input.key == KEY_RESIZE) {
                    paintNow();
                    continue;
                }
                if (input.key == KEY_F(10) || input.key == kKeyCtrlQ || input.key == kKeyCtrlC) {
                    closing_ = true;
                    return false;
                }
            }
            if (tooSmall()) continue;  // nothing acts on what cannot be seen
            event = input;
            return true;
        }
        inputPending_ = false;  // curses has nothing buffered either now
        int timeout = -1;
        if (dirty_) {
            const auto waited = std::chrono::steady_clock::now() - lastPaint_;
            if (waited >= kPaintInterval) {
                paint();
            } else {
                timeout = millisecondsUntil(kPaintInterval - waited);
            }
        }
        // Busy: only a look at the terminal before taking the next tasks.
        if (!paused) timeout = 0;
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {queue_.wakeFd(), POLLIN, 0}};
        const int ready = ::poll(fds, queue_.wakeFd() >= 0 ? 2 : 1, timeout);
        // A terminal that has hung up stays "readable" with nothing to read:
        // the dialog ends instead of spinning on it.
        if (ready > 0 && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            hungUp_ = true;
            closing_ = true;
            return false;
        }
        if (ready < 0 || (fds[0].revents & POLLIN) != 0) inputPending_ = true;
    }
}

}  // namespace undelete::terminal
