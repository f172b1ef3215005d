// The hidden web panels against a publisher's web server on loopback.
#include "ui/explorer.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
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
        ::setenv("no_proxy", "127.0.0.1,localhost", 1);
        m_server.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
            if (request.path == "/slow") {
                m_slow = 1;
                m_release.wait_for(std::chrono::seconds(5));
                m_slow = 2;
            } else {
                const std::lock_guard lock(m_mutex);
                m_targets.insert(request.target);
            }
            response.set_content("<html></html>", "text/html");
        });
        m_url = "http://127.0.0.1:" + std::to_string(m_server.bind_to_any_port("127.0.0.1"));
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        ASSERT_TRUE(waitFor([this] { return m_server.is_running(); }));
    }
    void TearDown() override {
        m_releaser.set_value();
        m_server.stop();
        m_thread.join();
    }

    quend::test::MessageBoxRecorder m_messages;
    httplib::Server m_server;
    std::string m_url;
    std::thread m_thread;
    std::promise<void> m_releaser;
    std::shared_future<void> m_release = m_releaser.get_future().share();
    std::atomic<int> m_slow = 0;  // 1 while "/slow" is asked, 2 once answered
    std::mutex m_mutex;
    std::multiset<std::string> m_targets;
};

// An empty address reaches no server and fails quietly. A page that never arrives while its
// panel exists shows that the panel's end did not wait for the reply.
TEST_F(WebPanelTest, HiddenPanelsLoadTheirAddressOnceEachAndNeverHoldUpTheirEnd) {
    QWidget window;
    std::deque<ui::CExplorer1> panels;
    const std::multiset<std::string> targets = {"/home", "/cash?list=1", "/notice", "/oneline"};
    for (const std::string& target : targets)
        panels.emplace_back(&window).Navigate(m_url + target);
    panels.emplace_back(&window).Navigate("");
    window.show();
    ASSERT_TRUE(waitFor([&] {
        return std::none_of(panels.begin(), panels.end(), [](const ui::CExplorer1& panel) {
            return panel.isVisible() || panel.Busy();
        });
    }));
    {
        const std::lock_guard lock(m_mutex);
        EXPECT_EQ(m_targets, targets);
    }
    EXPECT_EQ(panels[0].LocationURL(), m_url + "/cash?list=1");
    EXPECT_EQ(panels.back().LocationURL(), "");
    EXPECT_TRUE(m_messages.texts().empty());

    auto slow = std::make_unique<ui::CExplorer1>();
    slow->Navigate(m_url + "/slow");
    ASSERT_TRUE(waitFor([this] { return m_slow == 1; }));
    EXPECT_TRUE(slow->Busy());
    slow.reset();
    EXPECT_EQ(m_slow, 1);
}

}  // namespace
