#include "platform/profile.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

using quend::test::readFile;
using quend::test::TempDir;
using quend::test::writeFile;

// Reads with a generous buffer and answers the text.
std::string Read(const std::string& file, const char* section, const char* key,
                 const char* defaultValue = "<default>") {
    char buffer[4096];
    const std::size_t count =
        platform::ReadProfileString(section, key, defaultValue, buffer, sizeof buffer, file);
    EXPECT_EQ(count, std::string(buffer).size());
    return buffer;
}

// Reads a name list into a buffer of `size`; answers the buffer up to its two ending nulls.
std::string ReadList(const std::string& file, const char* section, std::size_t size) {
    std::string buffer(size, 'x');
    const std::size_t count =
        platform::ReadProfileString(section, nullptr, "", buffer.data(), size, file);
    const std::size_t end = buffer.find(std::string("\0\0", 2));
    EXPECT_TRUE(end == count || end + 1 == count) << "count " << count << " end " << end;
    return end == std::string::npos ? buffer : buffer.substr(0, end + 2);
}

std::ptrdiff_t FileCount(const TempDir& dir) {
    return std::distance(std::filesystem::directory_iterator(dir.path()),
                         std::filesystem::directory_iterator());
}

class ProfileReadTest : public ::testing::Test {
protected:
    TempDir m_dir;
    std::string m_file = (m_dir / "test.ini").string();
};

TEST_F(ProfileReadTest, NamesMatchWithoutCaseAndBlanksAreIgnored) {
    writeFile(m_file,
              "[ General ]\r\n"
              "  ConnectionFailed =  cannot connect  \r\n"
              "\tTabbed\t=\tvalue\twith\ttabs\t\r\n"
              "Spaced Key = x\r\n"
              "Empty=\r\n");
    EXPECT_EQ(Read(m_file, "general", "connectionfailed"), "cannot connect");
    EXPECT_EQ(Read(m_file, " GENERAL\t", " ConnectionFAILED "), "cannot connect");
    EXPECT_EQ(Read(m_file, "General", "tabbed"), "value\twith\ttabs");
    EXPECT_EQ(Read(m_file, "General", "spaced key"), "x");
    // A key with an empty value exists: its empty text wins over the default.
    EXPECT_EQ(Read(m_file, "General", "Empty"), "");
}

TEST_F(ProfileReadTest, OnlyAWholeEnclosingPairOfQuotesIsDropped) {
    writeFile(m_file,
              "[Q]\n"
              "double=\"  padded  \"\n"
              "single='single'\n"
              "mismatched=\"text'\n"
              "lone=\"\n"
              "empty=\"\"\n"
              "inner=\"a\"b\"\n"
              "partial=x\"y\"\n"
              "twice=\"\"twice\"\"\n");
    EXPECT_EQ(Read(m_file, "Q", "double"), "  padded  ");
    EXPECT_EQ(Read(m_file, "Q", "single"), "single");
    EXPECT_EQ(Read(m_file, "Q", "mismatched"), "\"text'");
    EXPECT_EQ(Read(m_file, "Q", "lone"), "\"");
    EXPECT_EQ(Read(m_file, "Q", "empty"), "");
    EXPECT_EQ(Read(m_file, "Q", "inner"), "a\"b");
    EXPECT_EQ(Read(m_file, "Q", "partial"), "x\"y\"");
    EXPECT_EQ(Read(m_file, "Q", "twice"), "\"twice\"");
}

TEST_F(ProfileReadTest, TheBufferSizeCutsValueAndDefault) {
    const std::string longValue(2000, 'v');
    writeFile(m_file, "[S]\r\nlong=" + longValue + "\r\nshort=abc\r\n");

    char buffer[1024];
    EXPECT_EQ(platform::ReadProfileString("S", "long", "", buffer, sizeof buffer, m_file), 1023u);
    EXPECT_EQ(std::string(buffer), longValue.substr(0, 1023));

    char small[3] = {'x', 'x', 'x'};
    EXPECT_EQ(platform::ReadProfileString("S", "short", "", small, 3, m_file), 2u);
    EXPECT_STREQ(small, "ab");
    EXPECT_EQ(platform::ReadProfileString("S", "short", "", small, 1, m_file), 0u);
    EXPECT_STREQ(small, "");

    small[0] = 'x';
    EXPECT_EQ(platform::ReadProfileString("S", "short", "", small, 0, m_file), 0u);
    EXPECT_EQ(small[0], 'x') << "size 0 must write nothing";
    EXPECT_EQ(platform::ReadProfileString("S", "short", "", nullptr, 10, m_file), 0u);

    EXPECT_EQ(platform::ReadProfileString("S", "missing", "defaults", small, 3, m_file), 2u);
    EXPECT_STREQ(small, "de");
}

TEST_F(ProfileReadTest, MissingFileSectionOrKeyGivesTheDefault) {
    const std::string missing = (m_dir / "none.ini").string();
    EXPECT_EQ(Read(missing, "S", "k"), "<default>");
    EXPECT_EQ(Read(m_dir.path().string(), "S", "k"), "<default>") << "a folder is no file";

    writeFile(m_file, "[S]\nk=v\n");
    EXPECT_EQ(Read(m_file, "Other", "k"), "<default>");
    EXPECT_EQ(Read(m_file, "S", "other"), "<default>");
    EXPECT_EQ(Read(m_file, "S", "other", nullptr), "");
    EXPECT_EQ(Read(m_file, "S", "other", "trailing blanks go \t "), "trailing blanks go");
    EXPECT_EQ(Read(m_file, "S", "k"), "v");
}

TEST_F(ProfileReadTest, LineEndsCommentsAndFirstOccurrences) {
    writeFile(m_file,
              "\xEF\xBB\xBF"
              "top=before any section\n"
              "[A]\r\n"
              ";commented=yes\r\n"
              "  ; indented=yes\n"
              "no equals sign\n"
              "[broken\n"
              "dup=first\r\n"
              "DUP=second\n"
              "crlf=value\r\n"
              "[B]\n"
              "b=1\n"
              "[a]\n"
              "onlyInSecondA=1\n"
              "last=no newline");
    EXPECT_EQ(Read(m_file, "A", ";commented"), "<default>");
    EXPECT_EQ(Read(m_file, "A", "; indented"), "<default>");
    EXPECT_EQ(Read(m_file, "A", "no equals sign"), "<default>");
    EXPECT_EQ(Read(m_file, "A", "dup"), "first");
    EXPECT_EQ(Read(m_file, "A", "crlf"), "value");
    EXPECT_EQ(Read(m_file, "B", "b"), "1");
    EXPECT_EQ(Read(m_file, "A", "onlyInSecondA"), "<default>") << "the first [A] wins";
    EXPECT_EQ(Read(m_file, "A", "last"), "<default>");
    EXPECT_EQ(Read(m_file, "", "top"), "before any section");
}

TEST_F(ProfileReadTest, GbkBytesComeBackUnchanged) {
    // "中文" and "连接失败" in GBK.
    const std::string chinese = "\xD6\xD0\xCE\xC4";
    const std::string failed = "\xC1\xAC\xBD\xD3\xCA\xA7\xB0\xDC";
    writeFile(m_file, "[General]\r\nConnectionFailed=" + failed + "\r\n[" + chinese + "]\r\n" +
                          chinese + " = \"" + chinese + "\"\r\n");
    EXPECT_EQ(Read(m_file, "General", "ConnectionFailed"), failed);
    EXPECT_EQ(Read(m_file, chinese.c_str(), chinese.c_str()), chinese);
}

TEST_F(ProfileReadTest, NullNamesListSectionsAndKeys) {
    writeFile(m_file, "x=1\n[One]\na=1\nB=2\nb=3\n[two]\n[ONE]\nc=4\n[]\n");
    EXPECT_EQ(ReadList(m_file, nullptr, 100), std::string("One\0two\0\0", 9));
    EXPECT_EQ(ReadList(m_file, "one", 100), std::string("a\0B\0\0", 5));
    // A list too long for the buffer is cut and still ends in two nulls.
    EXPECT_EQ(ReadList(m_file, nullptr, 6), std::string("One\0\0", 5));
    EXPECT_EQ(ReadList(m_file, nullptr, 4), std::string("On\0\0", 4));
    // A section without keys gives the default.
    EXPECT_EQ(Read(m_file, "two", nullptr), "<default>");
    const std::string missing = (m_dir / "none.ini").string();
    EXPECT_EQ(ReadList(missing, nullptr, 10), std::string("\0\0", 2));
}

class ProfileWriteTest : public ProfileReadTest {};

TEST_F(ProfileWriteTest, CreatesFileAndSectionsWithCrLf) {
    ASSERT_TRUE(platform::WriteProfileString("Server", "ServerHost", "10.0.0.1", m_file));
    EXPECT_EQ(readFile(m_file), "[Server]\r\nServerHost=10.0.0.1\r\n");
    ASSERT_TRUE(platform::WriteProfileString(" Other ", " Port ", "  7000", m_file));
    EXPECT_EQ(readFile(m_file), "[Server]\r\nServerHost=10.0.0.1\r\n[Other]\r\nPort=7000\r\n");
    EXPECT_EQ(Read(m_file, "other", "port"), "7000");

    struct stat info {};
    ASSERT_EQ(::stat(m_file.c_str(), &info), 0);
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(info.st_mode & 0777, 0666u & ~mask);
}

TEST_F(ProfileWriteTest, ReplacingAValueKeepsEveryOtherByte) {
    const std::string before =
        "; game settings\n"
        "[Server]\n"
        "  ServerHost =  old.example  \n"
        "ServerPort=7000\r\n"
        "\n"
        "[Other]\n"
        "ServerHost=untouched\n"
        "tail without newline";
    writeFile(m_file, before);
    ASSERT_EQ(::chmod(m_file.c_str(), 0640), 0);

    ASSERT_TRUE(platform::WriteProfileString("server", "SERVERHOST", "new.example", m_file));
    std::string expected = before;
    expected.replace(expected.find("old.example  "), 13, "new.example");
    EXPECT_EQ(readFile(m_file), expected);

    struct stat info {};
    ASSERT_EQ(::stat(m_file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(FileCount(m_dir), 1) << "no temporary file is left behind";
}

TEST_F(ProfileWriteTest, AddsAMissingKeyAfterTheLastLineOfItsSection) {
    writeFile(m_file,
              "[Server]\n"
              "ServerHost=h\n"
              "; note\n"
              "\n"
              "  \n"
              "[Other]\n"
              "x=1");
    ASSERT_TRUE(platform::WriteProfileString("Server", "ServerPort", "7000", m_file));
    ASSERT_TRUE(platform::WriteProfileString("Other", "y", "2", m_file));
    ASSERT_TRUE(platform::WriteProfileString("Third", "z", "3", m_file));
    EXPECT_EQ(readFile(m_file),
              "[Server]\n"
              "ServerHost=h\n"
              "; note\n"
              "ServerPort=7000\n"
              "\n"
              "  \n"
              "[Other]\n"
              "x=1\n"
              "y=2\n"
              "[Third]\n"
              "z=3\n");
}

TEST_F(ProfileWriteTest, WrittenValuesReadBackAndRemovalsWork) {
    writeFile(m_file, "[A]\r\nk=1\r\n[B]\r\nk=2\r\n[C]\r\nk=3\r\n");
    ASSERT_TRUE(platform::WriteProfileString("A", "quoted", "\"kept blanks \"", m_file));
    EXPECT_EQ(Read(m_file, "A", "quoted"), "kept blanks ");
    // A line break would start a line of its own; the value is cut there.
    ASSERT_TRUE(platform::WriteProfileString("A", "k", "one\r\n[Injected]\r\nx=y", m_file));
    EXPECT_EQ(Read(m_file, "A", "k"), "one");
    EXPECT_EQ(Read(m_file, "Injected", "x"), "<default>");

    ASSERT_TRUE(platform::WriteProfileString("B", nullptr, nullptr, m_file));
    ASSERT_TRUE(platform::WriteProfileString("C", "k", nullptr, m_file));
    ASSERT_TRUE(platform::WriteProfileString("Missing", "k", nullptr, m_file));
    EXPECT_EQ(readFile(m_file), "[A]\r\nk=one\r\nquoted=\"kept blanks \"\r\n[C]\r\n");

    const std::string before = readFile(m_file);
    EXPECT_FALSE(platform::WriteProfileString("A", "a=b", "v", m_file));
    EXPECT_FALSE(platform::WriteProfileString("A", "line\nbreak", "v", m_file));
    EXPECT_FALSE(platform::WriteProfileString("A", ";comment", "v", m_file));
    EXPECT_FALSE(platform::WriteProfileString(nullptr, "k", "v", m_file));
    EXPECT_FALSE(platform::WriteProfileString(" ", "k", "v", m_file));
    EXPECT_EQ(readFile(m_file), before);
}

TEST_F(ProfileWriteTest, AStrayCarriageReturnAtTheEndChangesNothing) {
    writeFile(m_file, "[A]\nk=v\r");
    EXPECT_EQ(Read(m_file, "A", "k"), "v");
    ASSERT_TRUE(platform::WriteProfileString("B", "x", "1", m_file));
    EXPECT_EQ(readFile(m_file), "[A]\nk=v\r\n[B]\nx=1\n");
    EXPECT_EQ(Read(m_file, "A", "k"), "v");
}

TEST_F(ProfileWriteTest, FailureLeavesNothingOrTheOldFile) {
    const std::string inMissingFolder = (m_dir / "no-such-folder" / "Qnd.ini").string();
    EXPECT_FALSE(platform::WriteProfileString("S", "k", "v", inMissingFolder));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "no-such-folder"));
    EXPECT_FALSE(platform::WriteProfileString("S", "k", "v", m_dir.path().string()));

    // A file-size limit makes the write itself fail, even for root.
    const std::string before = "[S]\nk=old\n";
    writeFile(m_file, before);
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool written =
        platform::WriteProfileString("S", "k", std::string(200, 'n').c_str(), m_file);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(readFile(m_file), before);
    EXPECT_EQ(FileCount(m_dir), 1);
}

TEST_F(ProfileWriteTest, ASymbolicLinkIsWrittenThrough) {
    const std::string real = (m_dir / "real.ini").string();
    writeFile(real, "[S]\nk=1\n");
    std::filesystem::create_symlink("real.ini", m_file);
    ASSERT_TRUE(platform::WriteProfileString("S", "k", "2", m_file));
    EXPECT_TRUE(std::filesystem::is_symlink(m_file));
    EXPECT_EQ(readFile(real), "[S]\nk=2\n");
}

}  // namespace
