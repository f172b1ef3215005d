// The message-box seam: handlers on any thread, standard error without one.

#include "platform/message_box.h"

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(MessageBoxTest, TheHandlerGetsCaptionAndTextFromAnyThread) {
    std::vector<std::string> shown;  // caption: text
    // The handler runs outside the seam's lock, so it may show or change things itself.
    auto saved =
        platform::SetMessageHandler([&](const std::string& caption, const std::string& text) {
            shown.push_back(caption + ": " + text);
            if (text == "outer") {
                platform::SetMessageCaption("Changed");
                platform::ShowMessage("inner");
            }
        });
    platform::SetMessageCaption("Launcher");
    platform::ShowMessage("连接失败");
    std::thread([] { platform::ShowMessage("from a worker"); }).join();
    platform::ShowMessage("outer");

    platform::SetMessageHandler(nullptr)("direct", "call");  // answers the handler it replaced
    EXPECT_EQ(shown,
              (std::vector<std::string>{"Launcher: 连接失败", "Launcher: from a worker",
                                        "Launcher: outer", "Changed: inner", "direct: call"}));
    // Without a handler the text goes to standard error.
    testing::internal::CaptureStderr();
    platform::ShowMessage("lost connection");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Changed: lost connection\n");
    platform::SetMessageHandler(std::move(saved));
}

}  // namespace
