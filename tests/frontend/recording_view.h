#pragma once
// A window for the main window's rules without a toolkit: it keeps what the rules show (Start's
// images and state, the status line, the bars, the tree rows, the selection, panels, browser,
// close) and answers the boxes and the code prompt as the test sets them; and a message queue that
// the test empties into the rules as a window's event loop would. Test thread only, but for
// PostQueue::Post (any thread).

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "frontend/launcher_controller.h"
#include "frontend/launcher_view.h"
#include "frontend/server_tree_model.h"
#include "support/test_support.h"

namespace quend::test {

class RecordingView final : public frontend::LauncherView {
public:
    using PromptMaker = std::function<std::unique_ptr<account::SmsCodePrompt>(
        const std::string& domain, const std::string& mobile, platform::HttpClient& http)>;

    void SetStartImages(const std::string& imageSet) override { startImages = imageSet; }
    void EnableStart(bool enable) override { startEnabled = enable; }
    void SetStatusText(const std::string& text) override { status = text; }
    void SetDownRange(std::uint32_t range) override { downRange = range; }
    void SetDownPosition(std::uint32_t position) override { downPosition = position; }
    void SetTotalRange(int range) override { totalRange = range; }
    void SetTotalPosition(int position) override { totalPosition = position; }
    void FillTree(frontend::TreeSide side, const frontend::CServerTreeModel& model) override {
        std::vector<std::string>& rows = Tree(side);
        rows.clear();
        for (const frontend::FServerItem& row : model.Rows())
            rows.push_back((row.parent == frontend::kNoRow ? "" : "  ") + row.Text());
        Selected(side) = frontend::kNoRow;
    }
    void SelectTreeRow(frontend::TreeSide side, frontend::RowId row) override {
        Selected(side) = row;
    }
    std::string UserNameText() const override { return user; }
    std::string PasswordText() const override { return password; }
    std::unique_ptr<account::SmsCodePrompt> MakeSmsCodePrompt(const std::string& domain,
                                                              const std::string& mobile,
                                                              platform::HttpClient& http) override {
        return makePrompt ? makePrompt(domain, mobile, http) : nullptr;
    }
    void Navigate(frontend::WebPanel, const std::string& url) override { panels.push_back(url); }
    void OpenInBrowser(const std::string& url) override { browser.push_back(url); }
    void CloseWindow() override { ++closed; }

    std::vector<std::string>& Tree(frontend::TreeSide side) {
        return side == frontend::TreeSide::Left ? left : right;
    }
    frontend::RowId& Selected(frontend::TreeSide side) {
        return side == frontend::TreeSide::Left ? leftSelected : rightSelected;
    }

    std::string startImages = "Start";  // what a window shows before the rules say
    bool startEnabled = false;
    std::string status;
    std::uint32_t downRange = 0;
    std::uint32_t downPosition = 0;
    int totalRange = 100;
    int totalPosition = 0;
    std::vector<std::string> left, right;  // row texts, server rows indented
    frontend::RowId leftSelected = frontend::kNoRow;
    frontend::RowId rightSelected = frontend::kNoRow;
    std::string user, password;
    PromptMaker makePrompt;
    std::vector<std::string> panels;
    std::vector<std::string> browser;
    int closed = 0;
};

// Where the workers and the receive thread post; Pump hands the queue to the rules on the test's
// thread, as a window's event loop does.
class PostQueue final : public platform::MessageTarget {
public:
    void Post(platform::PostedMessage message) override {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(message));
    }

    // Delivers what is queued, and what that posts, until the queue is empty.
    void Pump(frontend::CLauncherController& controller) {
        while (auto message = Next())
            controller.WindowProc(*message);
    }

    // Pumps until `done` holds; false when it does not within `timeout`.
    bool PumpUntil(frontend::CLauncherController& controller, const std::function<bool()>& done,
                   std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        return waitFor(
            [&] {
                Pump(controller);
                return done();
            },
            timeout);
    }

private:
    std::optional<platform::PostedMessage> Next() {
        std::lock_guard lock(m_mutex);
        if (m_queue.empty())
            return std::nullopt;
        platform::PostedMessage message = std::move(m_queue.front());
        m_queue.pop_front();
        return message;
    }

    std::mutex m_mutex;
    std::deque<platform::PostedMessage> m_queue;
};

}  // namespace quend::test
