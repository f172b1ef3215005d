#include "platform/message_box.h"

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Puts the process-wide handler and caption back after each test.
class MessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override { m_savedCaption = platform::MessageCaption(); }
    void TearDown() override {
        platform::SetMessageHandler(std::move(m_savedHandler));
        platform::SetMessageCaption(m_savedCaption);
    }
    void Install(platform::MessageHandler handler) {
        m_savedHandler = platform::SetMessageHandler(std::move(handler));
    }

    std::vector<std::pair<std::string, std::string>> m_shown;

private:
    platform::MessageHandler m_savedHandler;
    std::string m_savedCaption;
};

TEST_F(MessageBoxTest, TheHandlerGetsCaptionAndText) {
    Install([this](const std::string& caption, const std::string& text) {
        m_shown.emplace_back(caption, text);
    });
    platform::SetMessageCaption("Launcher");
    EXPECT_EQ(platform::MessageCaption(), "Launcher");
    platform::ShowMessage("连接失败");
    std::thread([] { platform::ShowMessage("from a worker"); }).join();

    const auto replaced = platform::SetMessageHandler(nullptr);
    ASSERT_TRUE(replaced);
    replaced("direct", "call");
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Launcher", "连接失败"}, {"Launcher", "from a worker"}, {"direct", "call"}};
    EXPECT_EQ(m_shown, expected);
}

TEST_F(MessageBoxTest, WithoutAHandlerTheTextGoesToStandardError) {
    Install(nullptr);
    platform::SetMessageCaption("Launcher");
    testing::internal::CaptureStderr();
    platform::ShowMessage("lost connection");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Launcher: lost connection\n");
}

TEST_F(MessageBoxTest, AHandlerMayUseTheSeamItself) {
    // The handler runs outside the seam's lock, so it may show or change things without a
    // deadlock.
    Install([this](const std::string& caption, const std::string& text) {
        m_shown.emplace_back(caption, text);
        if (text == "outer") {
            platform::SetMessageCaption("Changed");
            platform::ShowMessage("inner");
        }
    });
    platform::SetMessageCaption("Launcher");
    platform::ShowMessage("outer");
    const std::vector<std::pair<std::string, std::string>> expected = {{"Launcher", "outer"},
                                                                       {"Changed", "inner"}};
    EXPECT_EQ(m_shown, expected);
}

}  // namespace
