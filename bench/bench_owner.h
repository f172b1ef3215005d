#pragma once
// The window's side of an update manager for the benchmarks: a game folder and an update
// address, no screen. It counts what a check pass shows and fetches, and lets the benchmark wait
// for a pass to end. Any thread.

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <utility>

#include "patch/update_owner.h"
#include "platform/manual_reset_event.h"
#include "platform/message_target.h"
#include "platform/window_messages.h"

class BenchUpdateOwner final : public UpdateOwner, public platform::MessageTarget {
public:
    // Without a download thread (`downloads` false) a file to fetch is counted and skipped, so
    // that a pass that finds one still ends.
    BenchUpdateOwner(std::string gameDir, std::string updateUrl, bool downloads)
        : m_gameDir(std::move(gameDir)),
          m_updateUrl(std::move(updateUrl)),
          m_downloads(downloads) {}

    std::string GameDir() const override {
        std::lock_guard lock(m_mutex);
        return m_gameDir;
    }
    // Between passes only.
    void SetGameDir(std::string gameDir) {
        std::lock_guard lock(m_mutex);
        m_gameDir = std::move(gameDir);
    }
    bool IsRunning() const override { return true; }
    std::string UpdateUrl() const override { return m_updateUrl; }
    std::string ModuleDir() const override { return GameDir(); }
    bool NoUpdate() const override { return false; }
    platform::ManualResetEvent& DownloadEvent() override { return m_downloadEvent; }
    void WaitDownloadEvent() override {
        ++fetched;
        if (m_downloads)
            WaitDownloadEventWhileRunning(m_downloadEvent, [] { return true; });
    }
    platform::MessageTarget& Target() override { return *this; }

    void Post(platform::PostedMessage message) override {
        if (message.id == platform::WM_UPDATE_STATUS)
            ++current;
        if (message.id == platform::WM_UPDATE_DONE)
            m_passDone.Set();
    }

    // Waits for the WM_UPDATE_DONE of the pass started last; false after `timeout`.
    bool WaitPassDone(std::chrono::milliseconds timeout) {
        const bool done = m_passDone.WaitFor(timeout);
        m_passDone.Reset();
        return done;
    }

    std::atomic<long> current{0};  // files the pass found current
    std::atomic<long> fetched{0};  // files it handed to the download thread

private:
    mutable std::mutex m_mutex;
    std::string m_gameDir;
    std::string m_updateUrl;
    bool m_downloads;
    platform::ManualResetEvent m_downloadEvent;
    platform::ManualResetEvent m_passDone;
};
