// Profile strings read and written in real files with the Windows rules.

#include "platform/profile.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

using quend::test::readFile;
using quend::test::writeFile;

const std::string kChinese = "\xD6\xD0\xCE\xC4";  // "中文" in GBK

// Reads into a buffer of `size`; the count answered must be the length of the text.
std::string Read(const std::string& file, const char* section, const char* key,
                 const char* defaultValue = "<default>", std::size_t size = 4096) {
    std::string buffer(size, 'x');
    const std::size_t count =
        platform::ReadProfileString(section, key, defaultValue, buffer.data(), size, file);
    EXPECT_EQ(count, std::strlen(buffer.c_str()));
    return buffer.c_str();
}

class ProfileTest : public ::testing::Test {
protected:
    quend::test::TempDir m_dir;
    std::string m_file = (m_dir / "test.ini").string();
};

TEST_F(ProfileTest, ReadFollowsTheProfileRulesAndTheBufferSize) {
    writeFile(m_file,
              "\xEF\xBB\xBFtop=before any section\n"
              "[ General ]\r\n"
              "  ConnectionFailed =  cannot connect  \r\n"
              "\tTabbed\t=\tvalue\twith\ttabs\t\r\n"
              "Empty=\r\n  ; indented=yes\nno equals sign\n"
              "[broken\ndup=first\r\nDUP=second\n"
              "[Q]\ndouble=\"  padded  \"\nsingle='single'\nmismatched=\"text'\nlone=\"\n"
              "inner=\"a\"b\"\n[general]\nonlyInSecond=1\n"
              "[" +
                  kChinese + "]\r\n" + kChinese + " = \"" + kChinese + "\"\r\ntail=no newline");
    const char* c = kChinese.c_str();
    // An empty value wins over the default; only the first [General] is searched.
    const char* const cases[][3] = {{" GENERAL\t", " ConnectionFAILED ", "cannot connect"},
                                    {"General", "tabbed", "value\twith\ttabs"},
                                    {"General", "Empty", ""},
                                    {"General", "; indented", "<default>"},
                                    {"General", "no equals sign", "<default>"},
                                    {"General", "dup", "first"},
                                    {"General", "onlyInSecond", "<default>"},
                                    {"", "top", "before any section"},
                                    {"Q", "double", "  padded  "},
                                    {"Q", "single", "single"},
                                    {"Q", "mismatched", "\"text'"},
                                    {"Q", "lone", "\""},
                                    {"Q", "inner", "a\"b"},
                                    {c, c, c},
                                    {c, "tail", "no newline"}};
    for (const auto& [section, key, value] : cases)
        EXPECT_EQ(Read(m_file, section, key), value) << '[' << section << "] " << key;

    EXPECT_EQ(Read(m_file, "S", "other", nullptr), "");
    EXPECT_EQ(Read(m_file, "S", "other", "trailing blanks go \t "), "trailing blanks go");
    EXPECT_EQ(Read((m_dir / "none.ini").string(), "Q", "single"), "<default>");
    EXPECT_EQ(Read(m_dir.path().string(), "Q", "single"), "<default>") << "a folder is no file";

    // Values and defaults are cut to the buffer. (Name lists and removals: the Windows build.)
    EXPECT_EQ(Read(m_file, "Q", "single", "", 3), "si");
    EXPECT_EQ(Read(m_file, "Q", "missing", "defaults", 3), "de");
    char untouched = 'x';
    EXPECT_EQ(platform::ReadProfileString("Q", "single", "", &untouched, 0, m_file), 0u);
    EXPECT_EQ(untouched, 'x') << "size 0 must write nothing";
    EXPECT_EQ(platform::ReadProfileString("Q", "single", "", nullptr, 10, m_file), 0u);
}

TEST_F(ProfileTest, AWriteChangesOnlyTheValueItWrites) {
    const std::string real = (m_dir / "real.ini").string();
    const std::string before =
        "; game settings\n[Server]\n  ServerHost =  old.example  \nServerPort=7000\r\n\n"
        "[Other]\nServerHost=untouched\ntail without newline";
    writeFile(real, before);
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    std::filesystem::create_symlink("real.ini", m_file);

    ASSERT_TRUE(platform::WriteProfileString("server", "SERVERHOST", "new.example", m_file));
    std::string expected = before;
    expected.replace(expected.find("old.example  "), 13, "new.example");
    EXPECT_EQ(readFile(real), expected);
    EXPECT_TRUE(std::filesystem::is_symlink(m_file));
    EXPECT_EQ(std::filesystem::status(real).permissions(), std::filesystem::perms(0640));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.path()), {}), 2)
        << "no temporary file is left behind";
}

// A missing file is created; a new key follows the last line of its section.
TEST_F(ProfileTest, WritesCreateAFileOrAddAKey) {
    const std::string created = (m_dir / "new.ini").string();
    ASSERT_TRUE(platform::WriteProfileString("Server", "ServerHost", "10.0.0.1", created));
    ASSERT_TRUE(platform::WriteProfileString(" Other ", " Port ", "  7000", created));
    EXPECT_EQ(readFile(created), "[Server]\r\nServerHost=10.0.0.1\r\n[Other]\r\nPort=7000\r\n");
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(std::filesystem::status(created).permissions(), std::filesystem::perms(0666 & ~mask));

    writeFile(m_file, "[Server]\nServerHost=h\n; note\n\n  \n[Other]\nx=1\r");
    ASSERT_TRUE(platform::WriteProfileString("Server", "ServerPort", "7000", m_file));
    ASSERT_TRUE(platform::WriteProfileString("Other", "y", "2", m_file));
    ASSERT_TRUE(platform::WriteProfileString("Third", "z", "3", m_file));
    EXPECT_EQ(readFile(m_file),
              "[Server]\nServerHost=h\n; note\nServerPort=7000\n\n  \n"
              "[Other]\nx=1\ry=2\n[Third]\nz=3\n");
    EXPECT_EQ(Read(m_file, "Other", "x"), "1") << "a CR at the end is that line's end";
}

TEST_F(ProfileTest, AWriteCannotAddALineOfItsOwn) {
    writeFile(m_file, "[A]\r\nk=1\r\n");
    ASSERT_TRUE(platform::WriteProfileString("A", "quoted", "\"kept blanks \"", m_file));
    EXPECT_EQ(Read(m_file, "A", "quoted"), "kept blanks ");
    // A line break would start a line of its own; the value is cut there.
    ASSERT_TRUE(platform::WriteProfileString("A", "k", "one\r\n[Injected]\r\nx=y", m_file));
    const std::string after = "[A]\r\nk=one\r\nquoted=\"kept blanks \"\r\n";
    EXPECT_EQ(readFile(m_file), after);

    for (const char* key : {"a=b", "line\nbreak", ";comment", "[Injected]"})
        EXPECT_FALSE(platform::WriteProfileString("A", key, "v", m_file)) << key;
    EXPECT_FALSE(platform::WriteProfileString(nullptr, "k", "v", m_file));
    EXPECT_FALSE(platform::WriteProfileString(" ", "k", "v", m_file));
    EXPECT_EQ(readFile(m_file), after);
}

TEST_F(ProfileTest, FailedWriteLeavesNothingOrTheOldFile) {
    // (A file in a missing folder is shown with the game start.)
    EXPECT_FALSE(platform::WriteProfileString("S", "k", "v", m_dir.path().string()));

    // A file-size limit makes the write itself fail, even for root.
    writeFile(m_file, "[S]\nk=old\n");
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limited{64, saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool written =
        platform::WriteProfileString("S", "k", std::string(200, 'n').c_str(), m_file);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(readFile(m_file), "[S]\nk=old\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.path()), {}), 1);
}

}  // namespace
