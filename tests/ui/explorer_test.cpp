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

#include "devserver/http_listener.h"
#include "support/message_box_recorder.h"
#include "support/test_support.h"

namespace {

using quend::test::waitFor;

// A publisher's web server recording what it is asked; "/slow" answers once released, or in 5 s.
class WebPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("no_proxy", "127.0.0.1,localhost", 1);  // a proxy must not take over loopback
        ASSERT_TRUE(m_server.Start(0, "127.0.0.1", {}));
    }
    void TearDown() override { m_release.set_value(); }
    std::string Url(const std::string& target) const {
        return "http://127.0.0.1:" + std::to_string(m_server.Port()) + target;
    }
    std::multiset<std::string> Targets() {
        const std::lock_guard lock(m_mutex);
        return m_targets;
    }

    quend::test::MessageBoxRecorder m_messages;
    std::mutex m_mutex;
    std::multiset<std::string> m_targets;
    std::promise<void> m_release;
    std::shared_future<void> m_released = m_release.get_future().share();
    std::atomic<int> m_slow = 0;  // 1 while "/slow" is asked, 2 once answered
    devserver::CHttpListener m_server{[this](const httplib::Request& request, httplib::Response&) {
        if (request.path == "/slow") {
            m_slow = 1;
            m_released.wait_for(std::chrono::seconds(5));
            m_slow = 2;
        }
        const std::lock_guard lock(m_mutex);
        m_targets.insert(request.target);
    }};
};

// An empty address reaches no server and fails quietly.
TEST_F(WebPanelTest, HiddenPanelsLoadTheirAddressOnceEach) {
    QWidget window;
    std::deque<ui::CExplorer1> panels;
    const std::multiset<std::string> asked = {"/home", "/cash?list=1", "/notice", "/oneline"};
    for (const std::string& target : asked)
        panels.emplace_back(&window).Navigate(Url(target));
    panels.emplace_back(&window).Navigate("");
    window.show();
    ASSERT_TRUE(waitFor([&] {
        return std::none_of(panels.begin(), panels.end(), [](const ui::CExplorer1& panel) {
            return panel.isVisible() || panel.Busy();
        });
    }));
    EXPECT_EQ(Targets(), asked);
    EXPECT_EQ(panels[0].LocationURL(), Url("/cash?list=1"));
    EXPECT_EQ(panels.back().LocationURL(), "");
    EXPECT_TRUE(m_messages.texts().empty());
}

// A page that never arrives while its panel lives shows that the panel's end did not wait.
TEST_F(WebPanelTest, APanelsEndDoesNotWaitForItsPage) {
    auto panel = std::make_unique<ui::CExplorer1>();
    panel->Navigate(Url("/slow"));
    ASSERT_TRUE(waitFor([&] { return m_slow == 1; }));
    EXPECT_TRUE(panel->Busy());
    panel.reset();
    EXPECT_EQ(m_slow, 1);
}

}  // namespace
