#pragma once
// CProgressReporter: the progress of a long walk on standard error. On a terminal one line is
// rewritten for every file; into a file or pipe a line is added every 1000 files or 5 seconds,
// so logs stay short. One thread.

#include <chrono>
#include <cstdio>
#include <string>

namespace pack {

class CProgressReporter final {
public:
    CProgressReporter(std::FILE* out, bool terminal) : m_out(out), m_terminal(terminal) {}
    CProgressReporter(const CProgressReporter&) = delete;
    CProgressReporter& operator=(const CProgressReporter&) = delete;
    ~CProgressReporter();

    void Report(std::size_t done, std::size_t total, const std::string& name);

private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kFilesPerLine = 1000;
    static constexpr std::chrono::seconds kSecondsPerLine{5};

    std::FILE* m_out;
    bool m_terminal;
    bool m_open = false;  // a rewritten line waits for its line end
    Clock::time_point m_lastLine = Clock::now();
};

}  // namespace pack
