// The configured ANSI code page and UTF-8 both ways, what cannot convert, and threads at once.

#include "platform/codepage.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

const std::string kGbk = "\xD6\xD0\xCE\xC4";  // "中文" in GBK
const std::string kUtf8 = "中文";
const std::string kBad = "\uFFFD";

TEST(CodePageTest, ConversionFollowsTheConfiguredCodePage) {
    std::string longAnsi, longUtf8;  // longer than any one conversion step
    for (int i = 0; i < 5000; ++i) {
        longAnsi += kGbk + "x";
        longUtf8 += kUtf8 + "x";
    }
    enum Way { kBoth, kToUtf8, kToAnsi };
    // Each case names the code page it runs under; no other test in this program reads it.
    struct Case {
        const char* codePage;
        std::string ansi, utf8;
        Way way = kBoth;
    };
    const Case cases[] = {
        {"GBK", "Launcher " + kGbk + " 1.0", "Launcher " + kUtf8 + " 1.0"},
        {"GBK", std::string("a\0b", 3), std::string("a\0b", 3)},
        {"GBK", longAnsi, longUtf8},
        {"LATIN1", "caf\xE9", "café"},
        {"BIG5", "\xA4\xA4\xA4\xE5", kUtf8},
        // Undecodable bytes become U+FFFD: a lead byte followed by a byte that cannot trail it
        // loses only the lead byte, and a character cut at the end becomes one replacement.
        {"GBK", "a\xFF" + kGbk + "b", "a" + kBad + kUtf8 + "b", kToUtf8},
        {"GBK", kGbk + "\xD6", kUtf8 + kBad, kToUtf8},
        // What the code page cannot hold, and broken UTF-8 (overlong, surrogate, cut), become "?".
        {"GBK", "a?b", "a\U0001F600b", kToAnsi},
        {"GBK", "??" + kGbk, "\xC0\xAF" + kUtf8, kToAnsi},
        {"GBK", "x???y", "x\xED\xA0\x80y", kToAnsi},
        {"NO-SUCH-CODE-PAGE", kGbk, kUtf8},  // falls back to GBK
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        quend::test::setEnv("QUEND_CODEPAGE", c.codePage);
        if (c.way != kToAnsi) {
            EXPECT_EQ(platform::AnsiToUtf8(c.ansi), c.utf8);
        }
        if (c.way != kToUtf8) {
            EXPECT_EQ(platform::Utf8ToAnsi(c.utf8), c.ansi);
        }
    }
    EXPECT_EQ(platform::AnsiCodePage(), "GBK");
}

TEST(CodePageTest, ThreadsConvertAtTheSameTime) {
    quend::test::setEnv("QUEND_CODEPAGE", "GBK");
    std::atomic<int> wrong = 0;
    std::vector<std::jthread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                wrong += platform::AnsiToUtf8(kGbk + "\xFF" + kGbk) != kUtf8 + kBad + kUtf8;
                wrong += platform::Utf8ToAnsi(kUtf8 + kBad + kUtf8) != kGbk + "?" + kGbk;
            }
        });
    threads.clear();  // joins them
    EXPECT_EQ(wrong, 0);
}

}  // namespace
