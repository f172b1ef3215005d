#include "platform/codepage.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

const std::string kGbkChinese = "\xD6\xD0\xCE\xC4";  // "中文" in GBK
const std::string kUtf8Chinese = "中文";
const std::string kReplacement = "\uFFFD";

// Sets QUEND_CODEPAGE for one test and puts the old value back.
class CodePageOverride final {
public:
    explicit CodePageOverride(const char* codePage) {
        if (const char* old = std::getenv("QUEND_CODEPAGE"))
            m_old = old;
        ::setenv("QUEND_CODEPAGE", codePage, 1);
    }
    ~CodePageOverride() {
        if (m_old) {
            ::setenv("QUEND_CODEPAGE", m_old->c_str(), 1);
        } else {
            ::unsetenv("QUEND_CODEPAGE");
        }
    }
    CodePageOverride(const CodePageOverride&) = delete;
    CodePageOverride& operator=(const CodePageOverride&) = delete;

private:
    std::optional<std::string> m_old;
};

TEST(CodePageTest, GbkTextGoesToUtf8AndBack) {
    CodePageOverride gbk("GBK");
    EXPECT_EQ(platform::AnsiCodePage(), "GBK");
    const std::string ansi = "Launcher " + kGbkChinese + " 1.0";
    EXPECT_EQ(platform::AnsiToUtf8(ansi), "Launcher " + kUtf8Chinese + " 1.0");
    EXPECT_EQ(platform::Utf8ToAnsi("Launcher " + kUtf8Chinese + " 1.0"), ansi);
    EXPECT_EQ(platform::AnsiToUtf8(""), "");

    // Longer than any one conversion step.
    std::string longAnsi;
    std::string longUtf8;
    for (int i = 0; i < 5000; ++i) {
        longAnsi += kGbkChinese + "x";
        longUtf8 += kUtf8Chinese + "x";
    }
    EXPECT_EQ(platform::AnsiToUtf8(longAnsi), longUtf8);
    EXPECT_EQ(platform::Utf8ToAnsi(longUtf8), longAnsi);
}

TEST(CodePageTest, UndecodableBytesBecomeReplacementCharacters) {
    CodePageOverride gbk("GBK");
    EXPECT_EQ(platform::AnsiToUtf8("a\xFF" + kGbkChinese + "b"),
              "a" + kReplacement + kUtf8Chinese + "b");
    // A lead byte followed by a byte that cannot trail it: only the lead byte is lost.
    EXPECT_EQ(platform::AnsiToUtf8("\x81 ok"), kReplacement + " ok");
    // A character cut at the end of the text.
    EXPECT_EQ(platform::AnsiToUtf8(kGbkChinese + "\xD6"), kUtf8Chinese + kReplacement);
    EXPECT_EQ(platform::AnsiToUtf8("\xFF"), kReplacement);
    EXPECT_EQ(platform::AnsiToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(CodePageTest, WhatTheCodePageCannotHoldBecomesQuestionMarks) {
    CodePageOverride gbk("GBK");
    EXPECT_EQ(platform::Utf8ToAnsi("a\U0001F600b"), "a?b");  // an emoji has no GBK code
    EXPECT_EQ(platform::Utf8ToAnsi("\xC0\xAF" + kUtf8Chinese), "??" + kGbkChinese);  // overlong
    EXPECT_EQ(platform::Utf8ToAnsi("x\xED\xA0\x80y"), "x???y");                      // surrogate
    EXPECT_EQ(platform::Utf8ToAnsi("a\xE4\xB8"), "a??");  // cut at the end
}

TEST(CodePageTest, TheConfiguredCodePageIsHonoured) {
    {
        CodePageOverride latin1("LATIN1");
        EXPECT_EQ(platform::AnsiCodePage(), "LATIN1");
        EXPECT_EQ(platform::AnsiToUtf8("caf\xE9"), "café");
        EXPECT_EQ(platform::Utf8ToAnsi("café " + kUtf8Chinese), "caf\xE9 ??");
    }
    {
        CodePageOverride big5("BIG5");
        EXPECT_EQ(platform::AnsiToUtf8("\xA4\xA4\xA4\xE5"), kUtf8Chinese);
        EXPECT_EQ(platform::Utf8ToAnsi(kUtf8Chinese), "\xA4\xA4\xA4\xE5");
    }
    {
        CodePageOverride unknown("NO-SUCH-CODE-PAGE");
        EXPECT_EQ(platform::AnsiCodePage(), "GBK");
        EXPECT_EQ(platform::AnsiToUtf8(kGbkChinese), kUtf8Chinese);
    }
    {
        CodePageOverride empty("");
        EXPECT_EQ(platform::AnsiCodePage(), "GBK");
    }
}

TEST(CodePageTest, ThreadsConvertAtTheSameTime) {
    CodePageOverride gbk("GBK");
    const std::string ansi = kGbkChinese + "\xFF" + kGbkChinese;
    const std::string utf8 = kUtf8Chinese + kReplacement + kUtf8Chinese;
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < wrong.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                if (platform::AnsiToUtf8(ansi) != utf8)
                    ++wrong[t];
                if (platform::Utf8ToAnsi(utf8) != kGbkChinese + "?" + kGbkChinese)
                    ++wrong[t];
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

}  // namespace
