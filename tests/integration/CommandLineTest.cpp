// What the command line says about itself and about a wrong use of it, in
// the user's language: --help, usage errors, and the system's reason for a
// failure.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Harness.h"

namespace {

using harness::quote;

harness::Result inLanguage(const std::string& lang, const std::string& arguments) {
    return harness::run("cd / && env -u LC_ALL -u LC_MESSAGES -u LANGUAGE LANG=" + lang + " " +
                        quote(UNDELETE_BINARY) + " " + arguments);
}

bool hasCjk(const std::string& text) {
    // The UTF-8 lead bytes of U+4E00 to U+9FFF.
    for (size_t i = 0; i + 2 < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0xE4 && byte <= 0xE9) return true;
    }
    return false;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(CommandLine, HelpTellsWhatItReadsAndEveryOptionInTheUsersLanguage) {
    const harness::Result english = inLanguage("en_US.UTF-8", "--help");
    const harness::Result chinese = inLanguage("zh_CN.UTF-8", "--help");
    ASSERT_EQ(english.status, 0);
    ASSERT_EQ(chinese.status, 0);
    for (const harness::Result* help : {&english, &chinese}) {
        for (const char* word : {"FAT12", "FAT16", "FAT32", "exFAT", "NTFS", "E01", "VHD", "VHDX",
                                 "VMDK", "QCOW2", "DISK", "--partitions", "--scan ROW", "--deep",
                                 "--json", "--match GLOB", "--min-size BYTES", "-v, --verbose",
                                 "--save INDEX", "--save-all", "--output", "--force", "-h, --help",
                                 "--version"}) {
            EXPECT_TRUE(contains(help->out, word)) << word << "\n" << help->out;
        }
    }
    EXPECT_EQ(english.out.rfind("Usage:", 0), 0u) << english.out;
    EXPECT_FALSE(hasCjk(english.out)) << english.out;
    EXPECT_EQ(chinese.out.rfind("用法:", 0), 0u) << chinese.out;
    EXPECT_TRUE(contains(chinese.out, "选项:")) << chinese.out;
}

TEST(CommandLine, UsageErrorsCarryThePrefixAndTheUsersLanguage) {
    // The parser's own errors, and the combinations checked after it.
    for (const char* arguments :
         {"--scan", "--frobnicate", "--scan 0 --scan 1", "--save 1", "--scan 0 --save 1",
          "--partitions --scan 0", "--scan 0 --save-all --save 1 --output x", "--scan x"}) {
        const harness::Result english = inLanguage("en_US.UTF-8", std::string(arguments) + " 2>&1");
        const harness::Result chinese = inLanguage("zh_CN.UTF-8", std::string(arguments) + " 2>&1");
        EXPECT_EQ(english.status, 2) << arguments;
        EXPECT_EQ(chinese.status, 2) << arguments;
        EXPECT_EQ(english.out.rfind("undelete: ", 0), 0u) << arguments << ": " << english.out;
        EXPECT_EQ(chinese.out.rfind("undelete: ", 0), 0u) << arguments << ": " << chinese.out;
        EXPECT_FALSE(hasCjk(english.out)) << arguments << ": " << english.out;
        EXPECT_TRUE(hasCjk(chinese.out.substr(0, chinese.out.find('\n'))))
            << arguments << ": " << chinese.out;
        EXPECT_TRUE(contains(english.out, "undelete --help")) << english.out;
    }
    EXPECT_EQ(inLanguage("en_US.UTF-8", "--save 1 2>&1").out,
              "undelete: --save needs --scan\nRun undelete --help for the usage.\n");
}

TEST(CommandLine, TheSystemsReasonReadsInTheLanguageOfItsMessage) {
    const std::string missing = "/nonexistent-undelete-disk";
    // English, the fallback of a language without a catalogue: not German.
    const harness::Result german = inLanguage("de_DE.UTF-8", quote(missing) + " 2>&1");
    EXPECT_EQ(german.status, 1);
    EXPECT_EQ(german.out, "undelete: " + missing + ": No such file or directory\n");
    // Chinese: the locale's own text, not the English one.
    const harness::Result chinese = inLanguage("zh_CN.UTF-8", quote(missing) + " 2>&1");
    EXPECT_EQ(chinese.status, 1);
    EXPECT_EQ(chinese.out.rfind("undelete: " + missing + "：", 0), 0u) << chinese.out;
    EXPECT_FALSE(contains(chinese.out, "No such file")) << chinese.out;
}

}  // namespace
