// The INI store as the launcher reads Launcher.ini, on real files in a folder with a Chinese name.
// (Its typed getters, edits and saving have no caller in the launcher or its tools.)

#include "config/ini_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/paths.h"
#include "support/test_support.h"

namespace {

using namespace std::string_literals;
using quend::test::TempDir;
using quend::test::writeFile;

class IniFileTest : public ::testing::Test {
protected:
    void load(const std::string& bytes) {
        writeFile(m_dir / "test.ini", bytes);
        ASSERT_TRUE(m_ini.Load(platform::PathUtf8(m_dir / "test.ini").c_str()));
    }
    std::string get(const char* section, const char* key) {
        return m_ini.GetString(section, key, "<none>");
    }
    // Each line as its kind's number and its text.
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        for (const config::IniLine& line : m_ini.Lines())
            out.push_back(std::to_string(static_cast<int>(line.kind)) + line.text);
        return out;
    }

    TempDir m_root;
    const std::filesystem::path m_dir = m_root / "启动器";
    config::CIniFile m_ini;
};

TEST_F(IniFileTest, LookupFollowsTheLineRules) {
    load(
        "Early=before any section\n[Main]\nName=Quend\nKEY =spaced\nSemi=abc;def\n"
        "Quoted=\"q v\"\nDup=first\nDup=second\nEq=a=b\nA=[x]\n"
        "[main]\nOther=in the second occurrence\n [Spaced]\nS1=1\n[Commented] ;c\nC1=1\n");
    const char* const cases[][3] = {
        {"MAIN", "name", "Quend"},  {"Main", "KEY", "<none>"},     {"Main", "key ", "spaced"},
        {"Main", "Semi", "abc"},    {"Main", "Quoted", "\"q v\""}, {"Main", "Dup", "first"},
        {"Main", "Eq", "a=b"},      {"Main", "A", "<none>"},       {"Main", "Other", "<none>"},
        {"Spaced", "S1", "<none>"}, {"Commented", "C1", "<none>"}, {"", "Early", "<none>"},
    };
    for (const auto& [section, key, value] : cases)
        EXPECT_EQ(get(section, key), value) << section << "." << key;
    EXPECT_EQ(m_ini.GetString(nullptr, "Name", "fallback"), std::string("fallback"));
    EXPECT_EQ(m_ini.GetString("Main", "Name", nullptr), nullptr);
    const char* first = m_ini.GetString("Main", "Name", "");
    m_ini.GetString("Main", "Semi", "");
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

TEST_F(IniFileTest, AFailedLoadEmptiesTheStore) {
    const std::string folder = platform::PathUtf8(m_dir);
    for (const char* bad : {static_cast<const char*>(nullptr), folder.c_str()}) {
        load("[S]\nA=1\n");
        EXPECT_FALSE(m_ini.Load(bad));
        EXPECT_TRUE(m_ini.Lines().empty());
    }
}

}  // namespace
