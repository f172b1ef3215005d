#pragma once
// The window's side of an update engine for the benchmarks: a game folder and an update address,
// no screen. It counts the bytes the engine reports as they arrive, lets the benchmark wait for a
// pass to end or for a share of a file to have arrived. Any thread.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>

#include "patch/update_owner.h"
#include "platform/message_target.h"
#include "platform/window_messages.h"

class BenchUpdateOwner final : public patch::UpdateOwner, public platform::MessageTarget {
public:
    BenchUpdateOwner(std::string gameDir, std::string updateUrl)
        : m_gameDir(std::move(gameDir)), m_updateUrl(std::move(updateUrl)) {}

    std::string GameDir() const override {
        std::lock_guard lock(m_mutex);
        return m_gameDir;
    }
    // Between passes only.
    void SetGameDir(std::string gameDir) {
        std::lock_guard lock(m_mutex);
        m_gameDir = std::move(gameDir);
    }
    std::string UpdateUrl() const override { return m_updateUrl; }
    std::string ModuleDir() const override { return GameDir(); }
    bool NoUpdate() const override { return false; }
    platform::MessageTarget& Target() override { return *this; }

    // Wakes a waiter only when what it waits for may have come, as a window's event loop wakes
    // once for a burst of posts rather than once for each.
    void Post(platform::PostedMessage message) override {
        bool wake = false;
        {
            std::lock_guard lock(m_mutex);
            if (message.id == platform::WM_DOWN_PROGRESS) {
                m_received += static_cast<std::uint64_t>(message.wParam);
                wake = m_wanted > 0 && m_received >= m_wanted;
            }
            if (message.id == platform::WM_UPDATE_DONE) {
                ++m_passes;
                wake = true;
            }
            ++m_posts;
        }
        if (wake)
            m_changed.notify_all();
    }

    // Waits for the WM_UPDATE_DONE of the next pass; false after `timeout`.
    bool WaitPassDone(std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        const long passes = m_waited + 1;
        if (!m_changed.wait_for(lock, timeout, [&] { return m_passes >= passes; }))
            return false;
        m_waited = passes;
        return true;
    }
    // Waits until `bytes` have arrived since the last Reset.
    bool WaitReceived(std::uint64_t bytes, std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        m_wanted = bytes;
        const bool arrived = m_changed.wait_for(lock, timeout, [&] { return m_received >= bytes; });
        m_wanted = 0;
        return arrived;
    }
    void ResetReceived() {
        std::lock_guard lock(m_mutex);
        m_received = 0;
    }
    long Posts() const {
        std::lock_guard lock(m_mutex);
        return m_posts;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_gameDir;
    std::string m_updateUrl;
    std::uint64_t m_received = 0;
    std::uint64_t m_wanted = 0;  // what a WaitReceived waits for, 0 when none waits
    long m_passes = 0;
    long m_waited = 0;
    long m_posts = 0;
};
