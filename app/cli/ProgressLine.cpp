#include "app/cli/ProgressLine.h"

namespace undelete {

void ProgressLine::show(const char* format, uint64_t done, uint64_t total) {
    if (out_ == nullptr) return;
    std::fputs("\r\033[K", out_);
    std::fprintf(out_, format, static_cast<unsigned long long>(done),
                 static_cast<unsigned long long>(total));
    std::fflush(out_);
    shown_ = true;
}

void ProgressLine::end() {
    if (!shown_) return;
    std::fputs("\r\033[K", out_);
    std::fflush(out_);
    shown_ = false;
}

}  // namespace undelete
