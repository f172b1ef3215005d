// Language-file texts: read afresh, markers for what is missing, the ring of result buffers.

#include "config/text_table.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/message_box_recorder.h"
#include "support/test_support.h"

namespace {

class TextTableTest : public ::testing::Test {
protected:
    void SetUp() override { config::SetTextFile(m_dir.dir() + "Launcher.chs"); }
    void WriteTexts(const std::string& content) {
        quend::test::writeFile(m_dir / "Launcher.chs", content);
    }

    quend::test::TempDir m_dir;
};

// (The profile rules of the lookup are shown with the profile service.)
TEST_F(TextTableTest, ATextComesFromTheFileCutToABufferOrShowsItsMarker) {
    WriteTexts("[General]\r\nUnSelectServer=\r\n[error]\r\nFailExecuteProgram=Cannot start\r\n");
    EXPECT_STREQ(config::GetErrorText("FailExecuteProgram"), "Cannot start");
    EXPECT_STREQ(config::GetGeneralText("UnSelectServer"), "[?General.UnSelectServer?]");
    EXPECT_STREQ(config::GetGeneralText("Disconnected"), "[?General.Disconnected?]");

    // The file is read afresh on each lookup.
    WriteTexts("[General]\r\nDisconnected=Lost connection\r\nLong=" + std::string(1500, 'L'));
    EXPECT_STREQ(config::GetGeneralText("Disconnected"), "Lost connection");
    EXPECT_EQ(std::string(config::GetGeneralText("Long")),
              std::string(config::kTextBufferSize - 1, 'L'));
}

TEST_F(TextTableTest, TheRingReusesItsBuffersOnlyAfterAFullRound) {
    WriteTexts("[General]\nFirst=first\nLast=last\n");
    const char* first = config::GetGeneralText("First");
    for (std::size_t i = 1; i < config::kTextRingBuffers; ++i)
        EXPECT_NE(config::GetGeneralText("Missing"), first);
    EXPECT_STREQ(first, "first") << "still valid after 255 further lookups";
    EXPECT_EQ(config::GetGeneralText("Last"), first);
    EXPECT_STREQ(first, "last") << "the 257th lookup overwrites the first";
}

// 'E' looks in Error, 'G' in General; other kinds show nothing.
TEST_F(TextTableTest, ShowTextShowsTheTextOfItsKindAsUtf8) {
    quend::test::setEnv("QUEND_CODEPAGE", "GBK");
    quend::test::MessageBoxRecorder shown;
    WriteTexts("[General]\r\nConnectionFailed=\xC1\xAC\xBD\xD3\xCA\xA7\xB0\xDC\r\n");  // "连接失败"
    for (const char kind : {'G', 'E', 'X', 'g'})
        config::ShowText("ConnectionFailed", kind);
    EXPECT_EQ(shown.texts(), (std::vector<std::string>{"连接失败", "[?Error.ConnectionFailed?]"}));
}

}  // namespace
