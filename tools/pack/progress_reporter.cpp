#include "pack/progress_reporter.h"

namespace pack {

CProgressReporter::~CProgressReporter() {
    if (m_open)
        std::fputc('\n', m_out);
}

void CProgressReporter::Report(std::size_t done, std::size_t total, const std::string& name) {
    if (m_terminal) {
        // "\033[K" clears what a longer name before left behind.
        std::fprintf(m_out, "\r\033[K[%zu/%zu] %s", done, total, name.c_str());
        std::fflush(m_out);
        m_open = true;
        return;
    }
    const Clock::time_point now = Clock::now();
    if (done % kFilesPerLine != 0 && done != total && now - m_lastLine < kSecondsPerLine)
        return;
    std::fprintf(m_out, "[%zu/%zu] %s\n", done, total, name.c_str());
    m_lastLine = now;
}

}  // namespace pack
