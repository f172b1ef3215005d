#pragma once
// Collects trace lines instead of printing them, for as long as it lives; the sink it replaced
// comes back afterwards. Lines may be written from any thread.

#include <mutex>
#include <string>
#include <vector>

#include "corelib/xtrace.h"

namespace quend::test {

class TraceRecorder final : public corelib::xoutput {
public:
    TraceRecorder() : m_previous(corelib::trace_sink()) { corelib::set_trace_sink(this); }
    ~TraceRecorder() override { corelib::set_trace_sink(m_previous); }
    TraceRecorder(const TraceRecorder&) = delete;
    TraceRecorder& operator=(const TraceRecorder&) = delete;

    void write(const char* line) override {
        std::lock_guard lock(m_mutex);
        m_lines.emplace_back(line);
    }

    std::vector<std::string> lines() const {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
    corelib::xoutput* m_previous;
};

}  // namespace quend::test
