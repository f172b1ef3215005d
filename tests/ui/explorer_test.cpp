#include "ui/explorer.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/message_box_recorder.h"
#include "support/test_support.h"

namespace {

using quend::test::waitFor;

// The peers here are on loopback, which a proxy configured on the machine must not take over.
const bool kLoopbackDirect = ::setenv("no_proxy", "127.0.0.1,localhost", 1) == 0;

// A publisher's web server on loopback that logs each request's target; "/slow" answers only
// once released, or after five seconds so that a fault cannot hang the suite.
class WebPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kLoopbackDirect);
        m_server.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
            std::unique_lock lock(m_mutex);
            m_targets.push_back(request.target);
            if (request.path == "/slow") {
                m_released.wait_for(lock, std::chrono::seconds(5), [this] { return m_release; });
                ++m_slowAnswers;
            }
            response.set_content("<html></html>", "text/html");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        ASSERT_GT(m_port, 0);
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        ASSERT_TRUE(waitFor([this] { return m_server.is_running(); }));
    }
    void TearDown() override {
        {
            const std::lock_guard lock(m_mutex);
            m_release = true;
        }
        m_released.notify_all();
        m_server.stop();
        if (m_thread.joinable())
            m_thread.join();
    }

    std::string Url(const std::string& target) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + target;
    }
    std::multiset<std::string> Targets() const {
        const std::lock_guard lock(m_mutex);
        return {m_targets.begin(), m_targets.end()};
    }
    int SlowAnswers() const {
        const std::lock_guard lock(m_mutex);
        return m_slowAnswers;
    }

    quend::test::MessageBoxRecorder m_messages;
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_release = false;
    int m_slowAnswers = 0;
    std::vector<std::string> m_targets;
};

TEST_F(WebPanelTest, FourHiddenPanelsLoadTheirAddressOnceEach) {
    QWidget window;
    std::vector<ui::CExplorer1*> panels;
    const std::vector<std::string> targets = {"/home", "/cash?list=1", "/notice", "/oneline"};
    for (const std::string& target : targets) {
        panels.push_back(new ui::CExplorer1(&window));
        panels.back()->setGeometry(10, 10, 200, 100);
        panels.back()->Navigate(Url(target));
    }
    window.show();
    for (ui::CExplorer1* panel : panels)
        EXPECT_FALSE(panel->isVisible());
    ASSERT_TRUE(waitFor([&] {
        return std::none_of(panels.begin(), panels.end(), [](auto* p) { return p->Busy(); });
    }));
    EXPECT_EQ(Targets(), std::multiset<std::string>(targets.begin(), targets.end()));
    EXPECT_EQ(panels[1]->LocationURL(), Url("/cash?list=1"));
    EXPECT_TRUE(m_messages.texts().empty());
}

TEST_F(WebPanelTest, EmptyAddressFailsQuietly) {
    ui::CExplorer1 panel;
    panel.Navigate("");
    EXPECT_EQ(panel.LocationURL(), "");
    ASSERT_TRUE(waitFor([&] { return !panel.Busy(); }));
    EXPECT_TRUE(Targets().empty());
    EXPECT_TRUE(m_messages.texts().empty());
}

// The page never arrives while the panel exists: its end cannot have waited for the reply.
TEST_F(WebPanelTest, ClosingDoesNotWaitForASlowPage) {
    auto panel = std::make_unique<ui::CExplorer1>();
    panel->Navigate(Url("/slow"));
    ASSERT_TRUE(waitFor([this] { return !Targets().empty(); }));
    EXPECT_TRUE(panel->Busy());
    panel.reset();
    EXPECT_EQ(SlowAnswers(), 0);
}

}  // namespace
