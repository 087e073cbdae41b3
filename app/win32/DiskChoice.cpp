#include "app/win32/DiskChoice.h"

#include <cstring>

namespace undelete::win32 {
namespace {

bool allDigits(const char* text) {
    if (*text == '\0') return false;
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9') return false;
    }
    return true;
}

}  // namespace

DiskChoice chooseDisk(int argumentCount, const char* const* arguments) {
    DiskChoice choice;
    if (argumentCount <= 0) return choice;
    if (argumentCount > 1 || arguments[0] == nullptr || arguments[0][0] == '\0') {
        choice.kind = DiskChoice::Kind::Invalid;
        return choice;
    }
    const char* argument = arguments[0];
    if (allDigits(argument)) {
        // At most three digits: the value cannot overflow.
        if (std::strlen(argument) > 3) {
            choice.kind = DiskChoice::Kind::Invalid;
            return choice;
        }
        int number = 0;
        for (const char* p = argument; *p != '\0'; ++p) number = number * 10 + (*p - '0');
        choice.driveNumber = number;
        return choice;
    }
    choice.kind = DiskChoice::Kind::ImageFile;
    choice.imagePath = argument;
    return choice;
}

}  // namespace undelete::win32
