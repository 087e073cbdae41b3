#include "app/terminal/TerminalDialog.h"

#include <cstdio>

namespace undelete {

int runTerminalDialog() {
    std::fprintf(stderr, "undelete: the terminal dialog is not built yet\n");
    return 1;
}

}  // namespace undelete
