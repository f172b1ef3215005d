#pragma once
// Keeps the lines a devserver's server logs, for the test to take; the server's threads write
// them, any thread may take them.

#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace quend::test {

// Outlives the server it is given to: declare it before the server.
class LogRecorder final {
public:
    LogRecorder() = default;
    LogRecorder(const LogRecorder&) = delete;
    LogRecorder& operator=(const LogRecorder&) = delete;

    // The logger to give the server.
    std::function<void(const std::string&)> logger() {
        return [this](const std::string& line) {
            std::lock_guard lock(m_mutex);
            m_lines.push_back(line);
        };
    }

    // Every line so far, kept.
    std::vector<std::string> lines() const {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    // The lines since the last take, given away.
    std::vector<std::string> take() {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_lines, {});
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

}  // namespace quend::test
