// The pattern matcher of the Windows console program must agree with the
// system's fnmatch, which the Linux batch face uses for --match.
#include <fnmatch.h>
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "app/cli/NameMatch.h"

namespace undelete {
namespace {

TEST(NameMatch, AgreesWithFnmatchByCharacters) {
    // fnmatch counts characters in a UTF-8 locale, as the batch face runs.
    const char* before = std::setlocale(LC_CTYPE, nullptr);
    const std::string saved = before != nullptr ? before : "C";
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    const char* const globs[] = {
        "*",       "*.txt",    "?.txt",   "??.txt",   "报?.txt", "*告*",     "[a-c]*",
        "[!a-c]*", "[^a]*",    "[]]x",    "[!]]x",    "[报日]*", "a\\*b",    "\\[x]",
        "[x",      "*[.]log",  "a*b*c",   "*.*.*",    "",        "[a-]x",    "[\\]]x",
        "D*/x",    "*\\",      ".*",      "*[0-9]",   "[z-a]x",  "*?",       "**",
    };
    const char* const names[] = {
        "a.txt",  "ab.txt", "报告.txt", "日志.log", "Budget-2024.csv", "]x",  "a*b",
        "axb",    "[x",     "[x]",      "x",        "-x",              "abc", "D/x",
        ".hidden", "z",     "",         "a\\",      "bx",              "\xff.txt",
        "1.2.3",  "file9",  "aXbYc",    "报.txt",
    };
    int compared = 0;
    for (const char* glob : globs) {
        for (const char* name : names) {
            const bool expected = ::fnmatch(glob, name, 0) == 0;
            EXPECT_EQ(globMatches(glob, name), expected)
                << "glob \"" << glob << "\", name \"" << name << "\"";
            ++compared;
        }
    }
    std::setlocale(LC_CTYPE, saved.c_str());
    EXPECT_EQ(compared, 28 * 24);  // every pair was asked
}

}  // namespace
}  // namespace undelete
