#include "app/terminal/ListKeys.h"

#include "app/terminal/Curses.h"

namespace undelete::terminal {
namespace {

int keyCodeOf(const char* capability) {
    char* sequence = tigetstr(const_cast<char*>(capability));
    if (sequence == nullptr || sequence == reinterpret_cast<char*>(-1)) return -1;
    const int code = key_defined(sequence);
    return code > 0 ? code : -1;
}

}  // namespace

ModifiedKeys lookUpModifiedKeys() {
    ModifiedKeys keys;
    keys.controlUp = keyCodeOf("kUP5");
    keys.controlDown = keyCodeOf("kDN5");
    keys.controlHome = keyCodeOf("kHOM5");
    keys.controlEnd = keyCodeOf("kEND5");
    return keys;
}

bool applyListKey(ListView list, int key, const ModifiedKeys& modified) {
    ListModel& model = list.model;
    const int page = list.pageRows > 1 ? list.pageRows - 1 : 1;
    const int last = model.lineCount() - 1;
    if (key == KEY_LEFT || key == KEY_RIGHT) {
        model.scrollSideways(key == KEY_LEFT ? -kSidewaysStep : kSidewaysStep, list.contentWidth,
                             list.visibleWidth);
        return true;
    }
    if (key == ' ') {
        model.toggleCursorRow();
    } else if (key == KEY_UP || key == KEY_DOWN) {
        model.moveCursor(key == KEY_UP ? -1 : 1, SelectMode::Move);
    } else if (key == KEY_SR || key == KEY_SF) {
        model.moveCursor(key == KEY_SR ? -1 : 1, SelectMode::Extend);
    } else if (key == KEY_PPAGE || key == KEY_NPAGE) {
        model.moveCursor(key == KEY_PPAGE ? -page : page, SelectMode::Move);
    } else if (key == KEY_SPREVIOUS || key == KEY_SNEXT) {
        model.moveCursor(key == KEY_SPREVIOUS ? -page : page, SelectMode::Extend);
    } else if (key == KEY_HOME || key == KEY_END) {
        model.moveCursorTo(key == KEY_HOME ? 0 : last, SelectMode::Move);
    } else if (key == KEY_SHOME || key == KEY_SEND) {
        model.moveCursorTo(key == KEY_SHOME ? 0 : last, SelectMode::Extend);
    } else if (key == modified.controlUp || key == modified.controlDown) {
        model.moveCursor(key == modified.controlUp ? -1 : 1, SelectMode::Keep);
    } else if (key == modified.controlHome || key == modified.controlEnd) {
        model.moveCursorTo(key == modified.controlHome ? 0 : last, SelectMode::Keep);
    } else {
        return false;
    }
    model.revealCursor(list.pageRows);
    return true;
}

}  // namespace undelete::terminal
