#include "app/Language.h"

namespace undelete {

void initLanguage() {}

const char* tr(const char* text) {
    return text;
}

}  // namespace undelete
