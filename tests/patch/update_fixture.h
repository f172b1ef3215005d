#pragma once
// The real pieces around an update manager for its tests: a loopback update server over a
// temporary folder, and an owner with a temporary game folder that records what the manager
// shows and posts. Test thread only, except where the owner's members say otherwise.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "devserver/update_server.h"
#include "patch/md5.h"
#include "patch/update_manager.h"
#include "patch/update_owner.h"
#include "support/post_recorder.h"
#include "support/test_support.h"

namespace quend::test {

class TestUpdateOwner final : public UpdateOwner {
    template <class F>
    auto Locked(F f) const {
        std::lock_guard lock(m_mutex);
        return f();
    }

public:
    // What the check pass showed: the status texts, the bar's range and its steps.
    struct Progress {
        std::vector<std::string> status;
        std::pair<int, int> range{-1, -1};
        int steps = 0;
    };

    TestUpdateOwner() { std::filesystem::create_directories(Game()); }

    std::filesystem::path Root() const { return m_root.path(); }
    std::filesystem::path Game() const { return m_root / "game"; }

    std::string GameDir() const override { return Game().string() + "/"; }
    bool IsRunning() const override { return running; }
    std::string UpdateUrl() const override {
        return Locked([this] { return m_url; });
    }
    std::string ModuleDir() const override { return m_root.dir(); }
    bool NoUpdate() const override { return noUpdate; }
    void SetStatusText(const std::string& text) override {
        Locked([&] { m_progress.status.push_back(text); });
    }
    void SetTotalRange(int lo, int hi) override {
        Locked([&] { m_progress.range = {lo, hi}; });
    }
    void StepTotal() override {
        Locked([this] { ++m_progress.steps; });
    }
    platform::ManualResetEvent& DownloadEvent() override { return m_downloadEvent; }
    void WaitDownloadEvent() override {
        WaitDownloadEventWhileRunning(m_downloadEvent, [this] { return running.load(); });
    }
    platform::MessageTarget& Target() override { return target; }

    void SetUpdateUrl(std::string url) {
        Locked([&] { m_url = std::move(url); });
    }
    Progress TakeProgress() {
        return Locked([this] { return std::exchange(m_progress, Progress{}); });
    }

    std::atomic<bool> running{true};
    std::atomic<bool> noUpdate{false};
    PostRecorder target;

private:
    TempDir m_root;
    mutable std::mutex m_mutex;
    std::string m_url;
    Progress m_progress;
    platform::ManualResetEvent m_downloadEvent;
};

// A manager with its download thread running against a real server that serves Files() under
// the update address http://127.0.0.1:PORT/patch.
class UpdateTest : public ::testing::Test {
protected:
    static constexpr char kTitle[] = "QuendTest";

    void SetUp() override {
        ::setenv("no_proxy", "127.0.0.1,localhost", 1);
        std::filesystem::create_directories(Files());
        ASSERT_TRUE(m_server.Start());
        m_owner.SetUpdateUrl("http://127.0.0.1:" + std::to_string(m_server.Port()) + "/patch");
        m_manager.StartDownloadThread();
    }

    std::filesystem::path Files() const { return m_serverRoot / "patch"; }
    std::filesystem::path Game(std::string_view name) const { return m_owner.Game() / name; }

    std::vector<std::string> Log() {
        std::lock_guard lock(m_logMutex);
        return m_log;
    }

    // A list entry for `name` whose digest and size are those of `bytes`.
    static _filelist Entry(std::string name, std::string_view bytes, std::int64_t time = 0) {
        _filelist entry;
        entry.fileName = std::move(name);
        entry.extra = "x";
        entry.md5 = CMD5().GetStringMD5(std::string(bytes));
        entry.modifiedTime = time;
        entry.fileSize = static_cast<std::int64_t>(bytes.size());
        return entry;
    }

    // Hands one file to the download thread and waits until it is done with it.
    void Fetch(const _filelist& entry) {
        m_owner.DownloadEvent().Reset();
        m_manager.QueueDownload(entry);
        m_manager.WorkEvent().Set();
        ASSERT_TRUE(m_owner.DownloadEvent().WaitFor(std::chrono::seconds(20)));
    }

    // Runs a check pass over `lines`, waits for its end and answers what it showed.
    TestUpdateOwner::Progress RunPass(const std::string& lines) {
        const auto list = m_owner.Root() / "list.md5";
        writeFile(list, lines);
        m_owner.TakeProgress();
        m_manager.LoadChecksumList(list.string());
        EXPECT_TRUE(waitFor([this] { return !m_manager.IsCheckThreadRunning(); },
                            std::chrono::seconds(30)));
        EXPECT_EQ(m_manager.m_bBusy, 0);
        return m_owner.TakeProgress();
    }

    TestUpdateOwner m_owner;
    std::filesystem::path m_serverRoot = m_owner.Root() / "server";
    std::mutex m_logMutex;
    std::vector<std::string> m_log;
    devserver::CUpdateServer m_server{m_serverRoot, [this](const std::string& line) {
                                          std::lock_guard lock(m_logMutex);
                                          m_log.push_back(line);
                                      }};
    CMyUpdateManager m_manager{m_owner, kTitle};
};

}  // namespace quend::test
