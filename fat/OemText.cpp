#include "fat/OemText.h"

#include "common/Text.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace undelete {

#if defined(UNDELETE_CP936_TEXTS)

std::string oemToText(const char* bytes, size_t count) { return std::string(bytes, count); }

#else

namespace {

bool isLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool isTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

#if defined(_WIN32)
// The system's own table of code page 936; no state to keep.
class GbkConverter {
public:
    bool append(const char* pair, std::string& out) {
        wchar_t wide[2];
        const int n = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, pair, 2, wide, 2);
        if (n != 1) return false;
        out += narrowText(std::wstring(wide, 1));
        return true;
    }
};
#else
// One converter per thread: a descriptor may not be shared between threads,
// and opening one costs far more than a name's conversion.
class GbkConverter {
public:
    GbkConverter() : cd_(iconv_open("UTF-8", "GBK")) {}
    ~GbkConverter() {
        if (usable()) iconv_close(cd_);
    }
    GbkConverter(const GbkConverter&) = delete;
    GbkConverter& operator=(const GbkConverter&) = delete;

    // Appends the UTF-8 form of one double-byte character; false when the
    // pair has none.
    bool append(const char* pair, std::string& out) {
        if (!usable()) return false;
        char in[2] = {pair[0], pair[1]};
        char utf8[8];
        char* from = in;
        char* to = utf8;
        size_t inLeft = 2, outLeft = sizeof utf8;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd_, &from, &inLeft, &to, &outLeft) == static_cast<size_t>(-1) || inLeft != 0) {
            return false;
        }
        out.append(utf8, sizeof utf8 - outLeft);
        return true;
    }

private:
    bool usable() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t cd_;
};
#endif

}  // namespace

std::string oemToText(const char* bytes, size_t count) {
    std::string text;
    text.reserve(count);
    size_t i = 0;
    while (i < count && static_cast<unsigned char>(bytes[i]) < 0x80) text += bytes[i++];
    if (i == count) return text;

    thread_local GbkConverter gbk;
    while (i < count) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            text += static_cast<char>(c);
            ++i;
        } else if (i + 1 < count && isLeadByte(c) &&
                   isTrailByte(static_cast<unsigned char>(bytes[i + 1])) &&
                   gbk.append(bytes + i, text)) {
            i += 2;
        } else {
            text += '?';
            ++i;
        }
    }
    return text;
}

#endif

}  // namespace undelete
