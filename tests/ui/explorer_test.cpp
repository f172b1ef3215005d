// The hidden web panels against a publisher's web server on loopback.
#include "ui/explorer.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "support/message_box_recorder.h"
#include "support/test_support.h"

namespace {

using quend::test::waitFor;

// The server logs each request's target; "/slow" answers only once the test ends, or after five
// seconds so that a fault cannot hang the suite.
class WebPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A proxy configured on the machine must not take over loopback.
        ASSERT_EQ(::setenv("no_proxy", "127.0.0.1,localhost", 1), 0);
        m_server.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
            if (request.path == "/slow") {
                ++m_slowAsked;
                m_release.wait_for(std::chrono::seconds(5));
                ++m_slowAnswered;
            } else {
                const std::lock_guard lock(m_mutex);
                m_targets.insert(request.target);
            }
            response.set_content("<html></html>", "text/html");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        ASSERT_GT(m_port, 0);
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        ASSERT_TRUE(waitFor([this] { return m_server.is_running(); }));
    }
    void TearDown() override {
        m_releaser.set_value();
        m_server.stop();
        if (m_thread.joinable())
            m_thread.join();
    }

    std::string Url(const std::string& target) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + target;
    }

    quend::test::MessageBoxRecorder m_messages;
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    std::promise<void> m_releaser;
    std::shared_future<void> m_release = m_releaser.get_future().share();
    std::atomic<int> m_slowAsked = 0;
    std::atomic<int> m_slowAnswered = 0;
    std::mutex m_mutex;
    std::multiset<std::string> m_targets;
};

// An empty address reaches no server and fails quietly.
TEST_F(WebPanelTest, HiddenPanelsLoadTheirAddressOnceEach) {
    QWidget window;
    std::deque<ui::CExplorer1> panels;
    const std::multiset<std::string> targets = {"/home", "/cash?list=1", "/notice", "/oneline"};
    for (const std::string& target : targets) {
        panels.emplace_back(&window).setGeometry(10, 10, 200, 100);
        panels.back().Navigate(Url(target));
    }
    panels.emplace_back(&window).Navigate("");
    window.show();
    ASSERT_TRUE(waitFor([&] {
        for (const ui::CExplorer1& panel : panels) {
            if (panel.isVisible() || panel.Busy())
                return false;
        }
        return true;
    }));
    const std::lock_guard lock(m_mutex);
    EXPECT_EQ(m_targets, targets);
    EXPECT_EQ(panels[0].LocationURL(), Url("/cash?list=1"));
    EXPECT_EQ(panels.back().LocationURL(), "");
    EXPECT_TRUE(m_messages.texts().empty());
}

// The page never arrives while the panel exists: its end cannot have waited for the reply.
TEST_F(WebPanelTest, ClosingDoesNotWaitForASlowPage) {
    auto panel = std::make_unique<ui::CExplorer1>();
    panel->Navigate(Url("/slow"));
    ASSERT_TRUE(waitFor([this] { return m_slowAsked == 1; }));
    EXPECT_TRUE(panel->Busy());
    panel.reset();
    EXPECT_EQ(m_slowAnswered, 0);
}

}  // namespace
