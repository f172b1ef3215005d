#include "config/ini_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using namespace std::string_literals;
using quend::test::readFile;
using quend::test::TempDir;
using quend::test::writeFile;

class IniFileTest : public ::testing::Test {
protected:
    // Writes `bytes` to a file and loads it into `ini`.
    void load(const std::string& bytes) {
        writeFile(m_dir / "test.ini", bytes);
        ASSERT_TRUE(m_ini.Load(path().c_str()));
    }
    std::string path() const { return (m_dir / "test.ini").string(); }
    std::string saved() {
        const std::string out = (m_dir / "out.ini").string();
        EXPECT_TRUE(m_ini.Save(out.c_str()));
        return readFile(out);
    }
    std::string get(const char* section, const char* key) {
        return m_ini.GetString(section, key, "<none>");
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const IniLine& line : m_ini.Lines())
            out.push_back(line.text);
        return out;
    }

    TempDir m_dir;
    CIniFile m_ini;
};

TEST_F(IniFileTest, LookupFollowsTheLineRules) {
    load(
        "; leading comment\n"
        "Early=before any section\n"
        "[Main]\n"
        "Name=Quend\n"
        " Blank=lead\n"
        "KEY =spaced\n"
        "Semi=abc;def\n"
        "Quoted=\"q v\"\n"
        "Dup=first\n"
        "Dup=second\n"
        "Eq=a=b\n"
        "A=[x]\n"
        "After=hidden\n"
        "[main]\n"
        "Other=in the second occurrence\n"
        " [Spaced]\n"
        "S1=1\n"
        "[Commented] ;c\n"
        "C1=1\n");

    EXPECT_EQ(get("MAIN", "name"), "Quend");
    EXPECT_EQ(get("Main", " Blank"), "lead");
    EXPECT_EQ(get("Main", "Blank"), "<none>");
    EXPECT_EQ(get("Main", "KEY"), "<none>");
    EXPECT_EQ(get("Main", "key "), "spaced");
    EXPECT_EQ(get("Main", "Semi"), "abc");
    EXPECT_EQ(get("Main", "Quoted"), "\"q v\"");
    EXPECT_EQ(get("Main", "Dup"), "first");
    EXPECT_EQ(get("Main", "Eq"), "a=b");
    // A=[x] is a section line: not a key, and the end of [Main]'s keys.
    EXPECT_EQ(get("Main", "A"), "<none>");
    EXPECT_EQ(get("Main", "After"), "<none>");
    EXPECT_EQ(get("Main", "Other"), "<none>");
    EXPECT_EQ(get("Spaced", "S1"), "<none>");
    EXPECT_EQ(get("Commented", "C1"), "<none>");
    EXPECT_EQ(get("", "Early"), "<none>");

    const IniLine* header = m_ini.FindSection("mAiN");
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->text, "[Main]");
    EXPECT_EQ(m_ini.FindSection(" [Spaced]"), nullptr);

    IniKeyRef ref;
    ASSERT_TRUE(m_ini.FindKey("main", "SEMI", ref));
    EXPECT_EQ(ref.section, header);
    EXPECT_EQ(ref.keyLine->text, "Semi=abc;def");
    EXPECT_EQ(ref.key, "Semi");
    EXPECT_EQ(ref.value, "abc");
    EXPECT_EQ(ref.comment, ";def");
    EXPECT_FALSE(m_ini.FindKey("Main", "After", ref));
    EXPECT_EQ(ref.keyLine, nullptr);

    const char* fallback = "fallback";
    EXPECT_EQ(m_ini.GetString(nullptr, "Name", fallback), fallback);
    EXPECT_EQ(m_ini.GetString("Main", nullptr, fallback), fallback);
    EXPECT_EQ(m_ini.GetString("Main", "Missing", fallback), fallback);
    EXPECT_EQ(m_ini.GetString("Main", "Name", nullptr), nullptr);
}

TEST_F(IniFileTest, ClassifiesEachLine) {
    // A NUL byte ends a line's text; the piece still ends at its line end.
    load("[a];x\n]b[\nk=v\0[]\n;[c]\nx;=y\n\nplain\n"s);
    EXPECT_EQ(texts()[2], "k=v");
    std::vector<IniLineKind> kinds;
    for (const IniLine& line : m_ini.Lines())
        kinds.push_back(line.kind);
    using K = IniLineKind;
    EXPECT_EQ(kinds, (std::vector<K>{K::Section, K::Section, K::Key, K::Other, K::Other, K::Other,
                                     K::Other}));
}

TEST_F(IniFileTest, TypedGettersConvertLikeTheRuntime) {
    load("[N]\nI=12abc\nW=abc\nB=yes\nT=2\nD=2.5\nX=abc\nBig=99999999999\nNeg=-7\n");
    EXPECT_EQ(m_ini.GetInt("N", "I", 5), 12);
    EXPECT_EQ(m_ini.GetInt("N", "W", 5), 0);
    EXPECT_EQ(m_ini.GetInt("N", "Missing", -5), -5);
    EXPECT_EQ(m_ini.GetInt("N", "Big", 0), INT_MAX);
    EXPECT_EQ(m_ini.GetInt("N", "Neg", 0), -7);
    EXPECT_FALSE(m_ini.GetBool("N", "B", true));
    EXPECT_TRUE(m_ini.GetBool("N", "T", false));
    EXPECT_TRUE(m_ini.GetBool("N", "Missing", true));
    EXPECT_DOUBLE_EQ(m_ini.GetDouble("N", "D", 0.0), 2.5);
    // A missing key gives the default as printed with eleven significant digits.
    EXPECT_EQ(m_ini.GetDouble("N", "Missing", 1.0 / 3), 3.3333333333E-01);
    // A value that is no number gives the default unchanged.
    EXPECT_EQ(m_ini.GetDouble("N", "X", 1.0 / 3), 1.0 / 3);
}

TEST_F(IniFileTest, ResultBufferIsSharedByConsecutiveLookups) {
    load("[S]\nA=first\nB=second\n");
    const char* first = m_ini.GetString("S", "A", "");
    const char* second = m_ini.GetString("S", "B", "");
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, "second");
}

TEST_F(IniFileTest, TypedGettersGoThroughAnOverriddenGetString) {
    struct Fixed final : CIniFile {
        const char* GetString(const char*, const char*, const char*) override { return "42"; }
    } fixed;
    EXPECT_EQ(fixed.GetInt("S", "K", 0), 42);
    EXPECT_TRUE(fixed.GetBool("S", "K", false));
    EXPECT_DOUBLE_EQ(fixed.GetDouble("S", "K", 0.0), 42.0);
}

TEST_F(IniFileTest, ReadsLongLinesInPiecesOf254) {
    const std::string head = "Long=" + std::string(249, 'v');  // 254 characters
    const std::string tail = "Tail=" + std::string(41, 't');   // 46 characters
    const std::string exact = "Exact=" + std::string(248, 'e');
    const std::string over = "Over=" + std::string(250, 'o');  // 255 characters
    load("[S]\n" + head + tail + "\n" + exact + "\n" + over + "\n");

    EXPECT_EQ(texts(),
              (std::vector<std::string>{"[S]", head, tail, exact, over.substr(0, 254), "o"}));
    EXPECT_EQ(get("S", "Long"), std::string(249, 'v'));
    EXPECT_EQ(get("S", "Tail"), std::string(41, 't'));
    EXPECT_EQ(get("S", "Exact"), std::string(248, 'e'));
}

TEST_F(IniFileTest, CrLfInputReadsAsLf) {
    load("[S]\r\nA=1\r\nB=x\ry\r\n\r\nC=3");
    EXPECT_EQ(texts(), (std::vector<std::string>{"[S]", "A=1", "B=x\ry", "", "C=3"}));
    EXPECT_EQ(get("S", "A"), "1");
    EXPECT_EQ(get("S", "C"), "3");
    // A 254-character line ended by CR LF is still one line.
    load("[S]\r\n" + std::string(254, 'z') + "\r\nK=v\r\n");
    EXPECT_EQ(m_ini.Lines().size(), 3u);
    EXPECT_EQ(get("S", "K"), "v");
}

TEST_F(IniFileTest, SaveWritesEveryLineBackWithCrLf) {
    const std::string exact = "Exact=" + std::string(248, 'e');
    load("; head\n\n[S]\n   \nA=1 ;note\nnot a key\n\t\n" + exact + "\nlast");
    const std::string expected =
        "; head\r\n\r\n[S]\r\n   \r\nA=1 ;note\r\nnot a key\r\n\t\r\n" + exact + "\r\nlast\r\n";
    EXPECT_EQ(saved(), expected);
    ASSERT_TRUE(m_ini.Load((m_dir / "out.ini").string().c_str()));
    EXPECT_EQ(saved(), expected);
}

TEST_F(IniFileTest, SetStringRewritesInsertsOrAppends) {
    load("[S]\nOld=1\nSemi=abc;def\nPlain=2\n[T]\nT1=x\n");
    m_ini.SetString("s", "SEMI", "z");   // name as written, comment kept
    m_ini.SetString("S", "plain", "3");  // gets no comment of a line before it
    m_ini.SetString("S", "New1", "a");   // inserted right after the header
    m_ini.SetString("S", "New2", "b");   // the newest key first
    m_ini.SetString("U", "K", "v");      // a new section goes to the end
    m_ini.SetString(nullptr, "K", "v");
    m_ini.SetString("S", nullptr, "v");
    m_ini.SetString("S", "K", nullptr);
    m_ini.SetInt("T", "I", -12);
    m_ini.SetBool("T", "B", true);
    m_ini.SetDouble("T", "D", 2.5);
    EXPECT_EQ(saved(),
              "[S]\r\nNew2=b\r\nNew1=a\r\nOld=1\r\nSemi=z;def\r\nPlain=3\r\n"
              "[T]\r\nD=2.5000000000E+00\r\nB=1\r\nI=-12\r\nT1=x\r\n[U]\r\nK=v\r\n");
    EXPECT_EQ(get("S", "Semi"), "z");
    EXPECT_EQ(m_ini.GetInt("T", "I", 0), -12);
    EXPECT_DOUBLE_EQ(m_ini.GetDouble("T", "D", 0.0), 2.5);
}

TEST_F(IniFileTest, DeleteKeyKeepsTheSequenceWhole) {
    load("[S]\nA=1\nB=2\nC=3");
    EXPECT_FALSE(m_ini.DeleteKey("S", "Missing"));
    EXPECT_FALSE(m_ini.DeleteKey("Missing", "A"));
    EXPECT_TRUE(m_ini.DeleteKey("s", "b"));
    EXPECT_TRUE(m_ini.DeleteKey("S", "C"));  // the last line
    m_ini.SetString("T", "x", "1");          // appended after the new last line
    EXPECT_EQ(saved(), "[S]\r\nA=1\r\n[T]\r\nx=1\r\n");
    EXPECT_EQ(get("S", "C"), "<none>");
}

TEST_F(IniFileTest, LongValuesNeverOverflowTheResultBuffer) {
    load("[S]\n");
    const std::string value254(254, 'a');
    const std::string value255(255, 'b');
    const std::string value300 = std::string(200, 'c') + std::string(100, 'd');
    m_ini.SetString("S", "K254", value254.c_str());
    m_ini.SetString("S", "K255", value255.c_str());
    m_ini.SetString("S", "K300", value300.c_str());
    EXPECT_EQ(get("S", "K254"), value254);
    EXPECT_EQ(get("S", "K255"), value255);
    EXPECT_EQ(get("S", "K300"), value300.substr(0, 255));

    // The whole line is kept and written; read back it comes in pieces.
    IniKeyRef ref;
    ASSERT_TRUE(m_ini.FindKey("S", "K300", ref));
    EXPECT_EQ(ref.value, value300);
    const std::string file = saved();
    EXPECT_NE(file.find("K300=" + value300 + "\r\n"), std::string::npos);
    ASSERT_TRUE(m_ini.Load((m_dir / "out.ini").string().c_str()));
    EXPECT_EQ(get("S", "K300"), value300.substr(0, 249));
}

TEST_F(IniFileTest, FailuresLeaveTheStoreAsDescribed) {
    load("[S]\nA=1\n");
    EXPECT_FALSE(m_ini.Load(nullptr));
    EXPECT_TRUE(m_ini.Lines().empty());

    load("[S]\nA=1\n");
    EXPECT_FALSE(m_ini.Load((m_dir / "missing.ini").string().c_str()));
    EXPECT_TRUE(m_ini.Lines().empty());

    load("[S]\nA=1\n");
    EXPECT_FALSE(m_ini.Load(m_dir.path().string().c_str()));  // a folder is not a file
    EXPECT_TRUE(m_ini.Lines().empty());

    // Writing that fails keeps the lines; a file that cannot be created empties the store.
    load("[S]\nA=1\n");
    EXPECT_FALSE(m_ini.Save("/dev/full"));
    EXPECT_EQ(get("S", "A"), "1");
    EXPECT_FALSE(m_ini.Save((m_dir / "no" / "such.ini").string().c_str()));
    EXPECT_TRUE(m_ini.Lines().empty());
    EXPECT_EQ(get("S", "A"), "<none>");

    // An empty file loads as an empty store and saves as an empty file.
    load("");
    EXPECT_TRUE(m_ini.Lines().empty());
    EXPECT_EQ(saved(), "");
}

}  // namespace
