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

// An empty address reaches no server and fails quietly. A page that never arrives while its
// panel exists shows that the panel's end did not wait for the reply.
TEST(WebPanelTest, HiddenPanelsLoadTheirAddressOnceEachAndNeverHoldUpTheirEnd) {
    quend::test::MessageBoxRecorder messages;
    ::setenv("no_proxy", "127.0.0.1,localhost", 1);  // a proxy must not take over loopback
    std::mutex mutex;
    std::multiset<std::string> targets;
    std::promise<void> release;  // "/slow" answers then, or after five seconds
    const std::shared_future<void> released = release.get_future().share();
    std::atomic<int> slow = 0;  // 1 while "/slow" is asked, 2 once answered
    devserver::CHttpListener server([&](const httplib::Request& request, httplib::Response&) {
        if (request.path == "/slow") {
            slow = 1;
            released.wait_for(std::chrono::seconds(5));
            slow = 2;
        }
        const std::lock_guard lock(mutex);
        targets.insert(request.target);
    });
    ASSERT_TRUE(server.Start(0, "127.0.0.1", {}));
    const std::string url = "http://127.0.0.1:" + std::to_string(server.Port());

    QWidget window;
    std::deque<ui::CExplorer1> panels;
    const std::multiset<std::string> asked = {"/home", "/cash?list=1", "/notice", "/oneline"};
    for (const std::string& target : asked)
        panels.emplace_back(&window).Navigate(url + target);
    panels.emplace_back(&window).Navigate("");
    window.show();
    ASSERT_TRUE(waitFor([&] {
        return std::none_of(panels.begin(), panels.end(), [](const ui::CExplorer1& panel) {
            return panel.isVisible() || panel.Busy();
        });
    }));
    {
        const std::lock_guard lock(mutex);
        EXPECT_EQ(targets, asked);
    }
    EXPECT_EQ(panels[0].LocationURL(), url + "/cash?list=1");
    EXPECT_EQ(panels.back().LocationURL(), "");
    EXPECT_TRUE(messages.texts().empty());

    auto panel = std::make_unique<ui::CExplorer1>();
    panel->Navigate(url + "/slow");
    ASSERT_TRUE(waitFor([&] { return slow == 1; }));
    EXPECT_TRUE(panel->Busy());
    panel.reset();
    EXPECT_EQ(slow, 1);
    release.set_value();
}

}  // namespace
