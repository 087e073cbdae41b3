#include "app/cli/NameMatch.h"

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/Text.h"

#if !defined(_WIN32)
#include <fnmatch.h>
#endif

namespace undelete {
namespace {

// Past every code point: a byte that starts no UTF-8 character.
constexpr char32_t kRawByte = 0x110000;

std::vector<char32_t> charactersOf(const std::string& text) {
    std::vector<char32_t> characters;
    for (size_t at = 0; at < text.size();) {
        char32_t cp = 0;
        const size_t length = decodeUtf8(text, at, cp);
        if (length == 0) {
            characters.push_back(kRawByte + static_cast<unsigned char>(text[at]));
            ++at;
        } else {
            characters.push_back(cp);
            at += length;
        }
    }
    return characters;
}

// The bracket expression at `p[at]` ('['): whether `c` is in it, and in
// `end` the index after its ']'; false in `closed` when it has none (the
// '[' is then an ordinary character).
bool inBracket(const std::vector<char32_t>& p, size_t at, char32_t c, size_t& end, bool& closed) {
    size_t i = at + 1;
    const bool negated = i < p.size() && (p[i] == U'!' || p[i] == U'^');
    if (negated) ++i;
    bool found = false;
    for (bool first = true; i < p.size(); first = false) {
        if (p[i] == U']' && !first) {
            end = i + 1;
            closed = true;
            return found != negated;
        }
        char32_t low = p[i];
        if (low == U'\\' && i + 1 < p.size()) low = p[++i];
        ++i;
        char32_t high = low;
        if (i + 1 < p.size() && p[i] == U'-' && p[i + 1] != U']') {
            high = p[i + 1];
            if (high == U'\\' && i + 2 < p.size()) high = p[++i + 1];
            i += 2;
        }
        if (low <= c && c <= high) found = true;
    }
    closed = false;
    return false;
}

}  // namespace

bool globMatches(const std::string& glob, const std::string& name) {
    const std::vector<char32_t> p = charactersOf(glob), s = charactersOf(name);
    size_t pi = 0, si = 0;
    // Where to go on after the last '*' when what followed it fails.
    size_t starP = SIZE_MAX, starS = 0;
    while (si < s.size()) {
        bool step = false;
        size_t next = pi + 1;
        if (pi < p.size()) {
            if (p[pi] == U'*') {
                starP = pi++;
                starS = si;
                continue;
            }
            if (p[pi] == U'?') {
                step = true;
            } else if (p[pi] == U'[') {
                bool closed = false;
                step = inBracket(p, pi, s[si], next, closed);
                if (!closed) {
                    step = s[si] == U'[';
                    next = pi + 1;
                }
            } else if (p[pi] == U'\\' && pi + 1 == p.size()) {
                return false;  // a pattern cut after its escape matches nothing
            } else if (p[pi] == U'\\') {
                step = s[si] == p[pi + 1];
                next = pi + 2;
            } else {
                step = s[si] == p[pi];
            }
        }
        if (step) {
            pi = next;
            ++si;
        } else if (starP != SIZE_MAX) {
            pi = starP + 1;
            si = ++starS;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == U'*') ++pi;
    return pi == p.size();
}

bool nameMatches(const std::string& glob, const std::string& name) {
#if defined(_WIN32)
    return globMatches(glob, name);
#else
    return ::fnmatch(glob.c_str(), name.c_str(), 0) == 0;
#endif
}

}  // namespace undelete
