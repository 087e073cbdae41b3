// The batch's progress on standard error when it is a terminal: one line,
// rewritten in place, removed before anything else is written there.
#pragma once
#include <cstdint>
#include <cstdio>

namespace undelete {

class ProgressLine {
public:
    // `out`: a terminal, or null for no progress.
    explicit ProgressLine(FILE* out) : out_(out) {}
    // `format` (translated) takes the two counts.
    void show(const char* format, uint64_t done, uint64_t total);
    void end();

private:
    FILE* const out_;
    bool shown_ = false;
};

}  // namespace undelete
