// The launcher's INI store on real files in a folder with a Chinese name, as a game's may have.

#include "config/ini_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <tuple>
#include <vector>

#include "platform/paths.h"
#include "support/test_support.h"

namespace {

using namespace std::string_literals;

class IniFileTest : public ::testing::Test {
protected:
    void load(const std::string& bytes) {
        quend::test::writeFile(m_dir / "test.ini", bytes);
        ASSERT_TRUE(m_ini.Load(platform::PathUtf8(m_dir / "test.ini").c_str()));
    }
    std::string saved() {
        EXPECT_TRUE(m_ini.Save(m_out.c_str()));
        return quend::test::readFile(platform::FsPath(m_out));
    }
    std::string get(const char* s, const char* k) { return m_ini.GetString(s, k, "<none>"); }
    // Each line as its kind's number and its text.
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        for (const config::IniLine& line : m_ini.Lines())
            out.push_back(std::to_string(static_cast<int>(line.kind)) + line.text);
        return out;
    }

    quend::test::TempDir m_root;
    const std::filesystem::path m_dir = m_root / "启动器";
    std::string m_out = platform::PathUtf8(m_dir / "out.ini");
    config::CIniFile m_ini;
};

TEST_F(IniFileTest, LookupFollowsTheLineRules) {
    load(
        "Early=before any section\n[Main]\nName=Quend\nKEY =spaced\nSemi=abc;def\n"
        "Quoted=\"q v\"\nDup=first\nDup=second\nEq=a=b\nA=[x]\nAfter=hidden\n"
        "[main]\nOther=in the second occurrence\n [Spaced]\nS1=1\n[Commented] ;c\nC1=1\n");
    const char* const cases[][3] = {
        {"MAIN", "name", "Quend"},   {"Main", "KEY", "<none>"},     {"Main", "key ", "spaced"},
        {"Main", "Semi", "abc"},     {"Main", "Quoted", "\"q v\""}, {"Main", "Dup", "first"},
        {"Main", "Eq", "a=b"},       {"Main", "A", "<none>"},       {"Main", "After", "<none>"},
        {"Main", "Other", "<none>"}, {"Spaced", "S1", "<none>"},    {"Commented", "C1", "<none>"},
        {"", "Early", "<none>"},
    };
    for (const auto& [section, key, value] : cases)
        EXPECT_EQ(get(section, key), value) << section << "." << key;

    const char* fallback = "fallback";
    EXPECT_EQ(m_ini.GetString(nullptr, "Name", fallback), fallback);
    EXPECT_EQ(m_ini.GetString("Main", nullptr, fallback), fallback);
    EXPECT_EQ(m_ini.GetString("Main", "Name", nullptr), nullptr);
}

TEST_F(IniFileTest, TypedGettersConvertLikeTheRuntime) {
    load("[N]\nI=12abc\nW=abc\nB=yes\nT=2\nD=2.5\nBig=99999999999\n");
    for (const auto& [key, fallback, value] :
         {std::tuple{"I", 5, 12}, {"W", 5, 0}, {"Missing", -5, -5}, {"Big", 0, INT_MAX}})
        EXPECT_EQ(m_ini.GetInt("N", key, fallback), value) << key;
    EXPECT_FALSE(m_ini.GetBool("N", "B", true));
    EXPECT_TRUE(m_ini.GetBool("N", "T", false));
    EXPECT_TRUE(m_ini.GetBool("N", "Missing", true));
    EXPECT_DOUBLE_EQ(m_ini.GetDouble("N", "D", 0.0), 2.5);
    // A missing key gives the default as printed with eleven significant digits.
    EXPECT_EQ(m_ini.GetDouble("N", "Missing", 1.0 / 3), 3.3333333333E-01);

    const char* first = m_ini.GetString("N", "I", "");
    m_ini.GetString("N", "W", "");
    EXPECT_STREQ(first, "abc") << "consecutive lookups share one result buffer";
}

TEST_F(IniFileTest, ReadingSplitsTheFileIntoLinesByTheReadRules) {
    const std::string head = "Long=" + std::string(249, 'v');  // 254 characters
    const std::string tail = "Tail=" + std::string(41, 't');
    const std::string over = "Over=" + std::string(250, 'o');  // 255 characters
    const std::string exact = "Exact=" + std::string(248, 'e');
    load("[S]\r\n" + head + tail + "\r\n" + over + "\nB=x\ry\r\n\r\n" + exact + "\r\nC=3");
    EXPECT_EQ(lines(),
              (std::vector<std::string>{"1[S]", "2" + head, "2" + tail, "2" + over.substr(0, 254),
                                        "3o", "2B=x\ry", "3", "2" + exact, "2C=3"}));

    // A NUL byte ends a line's text; the piece still ends at its line end.
    load("[a];x\n]b[\nk=v\0[]\n;[c]\nx;=y\n\nplain\n"s);
    EXPECT_EQ(lines(), (std::vector<std::string>{"1[a];x", "1]b[", "2k=v", "3;[c]", "3x;=y", "3",
                                                 "3plain"}));
}

TEST_F(IniFileTest, EditsChangeOnlyTheLinesTheyName) {
    load("; head\n\n[S]\nOld=1\nSemi=abc;def\n   \nnot a key\nPlain=2\n[T]\nT1=x\nGone=1");
    m_ini.SetString("s", "SEMI", "z");   // name as written, comment kept
    m_ini.SetString("S", "plain", "3");  // gets no comment of a line before it
    m_ini.SetString("S", "New1", "a");   // inserted right after the header
    m_ini.SetString("S", "New2", "b");   // the newest key first
    m_ini.SetString(nullptr, "K", "v");
    m_ini.SetString("S", "K", nullptr);
    m_ini.SetInt("T", "I", -12);
    m_ini.SetBool("T", "B", true);
    m_ini.SetDouble("T", "D", 2.5);
    EXPECT_FALSE(m_ini.DeleteKey("S", "Missing"));
    EXPECT_TRUE(m_ini.DeleteKey("S", "Old"));
    EXPECT_TRUE(m_ini.DeleteKey("t", "GONE"));  // the last line
    m_ini.SetString("U", "K", "v");             // appended after the new last line
    const std::string expected =
        "; head\r\n\r\n[S]\r\nNew2=b\r\nNew1=a\r\nSemi=z;def\r\n   \r\nnot a key\r\nPlain=3\r\n"
        "[T]\r\nD=2.5000000000E+00\r\nB=1\r\nI=-12\r\nT1=x\r\n[U]\r\nK=v\r\n";
    EXPECT_EQ(saved(), expected);
}

TEST_F(IniFileTest, LongValuesNeverOverflowTheResultBuffer) {
    load("[S]\n");
    const std::string value255(255, 'b');
    const std::string value300 = std::string(200, 'c') + std::string(100, 'd');
    m_ini.SetString("S", "K255", value255.c_str());
    m_ini.SetString("S", "K300", value300.c_str());
    EXPECT_EQ(get("S", "K255"), value255);
    EXPECT_EQ(get("S", "K300"), value300.substr(0, 255));
    // The whole line is kept and written; read back it comes in pieces.
    EXPECT_NE(saved().find("K300=" + value300 + "\r\n"), std::string::npos);
    ASSERT_TRUE(m_ini.Load(m_out.c_str()));
    EXPECT_EQ(get("S", "K300"), value300.substr(0, 249));
}

TEST_F(IniFileTest, FailuresLeaveTheStoreAsDescribed) {
    const std::string missing = platform::PathUtf8(m_dir / "missing.ini");
    const std::string folder = platform::PathUtf8(m_dir);
    for (const char* bad : {static_cast<const char*>(nullptr), missing.c_str(), folder.c_str()}) {
        load("[S]\nA=1\n");
        EXPECT_FALSE(m_ini.Load(bad));
        EXPECT_TRUE(m_ini.Lines().empty());
    }
    // Writing that fails keeps the lines; a file that cannot be created empties the store.
    load("[S]\nA=1\n");
    EXPECT_FALSE(m_ini.Save("/dev/full"));
    EXPECT_EQ(get("S", "A"), "1");
    EXPECT_FALSE(m_ini.Save(platform::PathUtf8(m_dir / "no" / "such.ini").c_str()));
    EXPECT_TRUE(m_ini.Lines().empty());

    load("");
    EXPECT_EQ(saved(), "");
}

}  // namespace
