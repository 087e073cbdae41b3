#include "common/Message.h"

#include <cstdio>

#include "common/Hook.h"

namespace undelete {
namespace {

void writeToStandardError(const char* text) {
    std::fprintf(stderr, "%s\n", text);
}

Hook<void(const char*)>& sink() {
    static Hook<void(const char*)> hook(writeToStandardError);
    return hook;
}

}  // namespace

MessageSink installMessageSink(MessageSink function) {
    return sink().install(std::move(function));
}

void showMessage(const char* text) {
    sink().get()(text);
}

}  // namespace undelete
