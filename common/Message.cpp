#include "common/Message.h"

#include <cstdio>
#include <mutex>

namespace undelete {
namespace {

std::mutex& sinkMutex() {
    static std::mutex m;
    return m;
}

MessageSink& sinkSlot() {
    static MessageSink sink;
    return sink;
}

}  // namespace

MessageSink installMessageSink(MessageSink sink) {
    std::lock_guard<std::mutex> lock(sinkMutex());
    MessageSink previous = std::move(sinkSlot());
    sinkSlot() = std::move(sink);
    return previous;
}

void showMessage(const char* text) {
    MessageSink sink;
    {
        // Copy under the lock, call outside it: a sink may block for as long
        // as the user takes, and other threads must still reach it.
        std::lock_guard<std::mutex> lock(sinkMutex());
        sink = sinkSlot();
    }
    if (sink) {
        sink(text);
    } else {
        std::fprintf(stderr, "%s\n", text);
    }
}

}  // namespace undelete
