#include "platform/codepage.h"

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

const std::string kGbk = "\xD6\xD0\xCE\xC4";  // "中文" in GBK
const std::string kUtf8 = "中文";
const std::string kBad = "\uFFFD";

// Each case names the code page it runs under; no other test in this program reads it.
struct Case {
    const char* codePage;
    std::string ansi;
    std::string utf8;
};

TEST(CodePageTest, ConvertsBothWaysUnderTheConfiguredCodePage) {
    std::string longAnsi, longUtf8;  // longer than any one conversion step
    for (int i = 0; i < 5000; ++i) {
        longAnsi += kGbk + "x";
        longUtf8 += kUtf8 + "x";
    }
    const Case both[] = {
        {"GBK", "Launcher " + kGbk + " 1.0", "Launcher " + kUtf8 + " 1.0"},
        {"GBK", "", ""},
        {"GBK", std::string("a\0b", 3), std::string("a\0b", 3)},
        {"GBK", longAnsi, longUtf8},
        {"LATIN1", "caf\xE9", "café"},
        {"BIG5", "\xA4\xA4\xA4\xE5", kUtf8},
        {"NO-SUCH-CODE-PAGE", kGbk, kUtf8},  // falls back to GBK
        {"", kGbk, kUtf8},
    };
    for (const Case& c : both) {
        SCOPED_TRACE(c.codePage);
        ::setenv("QUEND_CODEPAGE", c.codePage, 1);
        EXPECT_EQ(platform::AnsiToUtf8(c.ansi), c.utf8);
        EXPECT_EQ(platform::Utf8ToAnsi(c.utf8), c.ansi);
    }
    EXPECT_EQ(platform::AnsiCodePage(), "GBK");
}

TEST(CodePageTest, WhatCannotBeConvertedIsReplaced) {
    // Undecodable bytes become U+FFFD: a lead byte followed by a byte that cannot trail it loses
    // only the lead byte, and a character cut at the end becomes one replacement.
    const Case toUtf8[] = {
        {"GBK", "a\xFF" + kGbk + "b", "a" + kBad + kUtf8 + "b"},
        {"GBK", "\x81 ok", kBad + " ok"},
        {"GBK", kGbk + "\xD6", kUtf8 + kBad},
    };
    // What the code page cannot hold, and broken UTF-8 (overlong, surrogate, cut), becomes "?".
    const Case toAnsi[] = {
        {"GBK", "a?b", "a\U0001F600b"},
        {"GBK", "??" + kGbk, "\xC0\xAF" + kUtf8},
        {"GBK", "x???y", "x\xED\xA0\x80y"},
        {"GBK", "a??", "a\xE4\xB8"},
        {"LATIN1", "caf\xE9 ??", "café " + kUtf8},
    };
    for (const Case& c : toUtf8) {
        ::setenv("QUEND_CODEPAGE", c.codePage, 1);
        EXPECT_EQ(platform::AnsiToUtf8(c.ansi), c.utf8) << c.ansi;
    }
    for (const Case& c : toAnsi) {
        ::setenv("QUEND_CODEPAGE", c.codePage, 1);
        EXPECT_EQ(platform::Utf8ToAnsi(c.utf8), c.ansi) << c.utf8;
    }
}

TEST(CodePageTest, ThreadsConvertAtTheSameTime) {
    ::setenv("QUEND_CODEPAGE", "GBK", 1);
    const std::string ansi = kGbk + "\xFF" + kGbk;
    const std::string utf8 = kUtf8 + kBad + kUtf8;
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < wrong.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                wrong[t] += platform::AnsiToUtf8(ansi) != utf8;
                wrong[t] += platform::Utf8ToAnsi(utf8) != kGbk + "?" + kGbk;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

}  // namespace
