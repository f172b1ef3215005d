// Exceptions, trace sinks and process-level reports on real streams, files and a child.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "corelib/xexception.h"
#include "corelib/xtrace.h"
#include "support/test_support.h"
#include "support/trace_recorder.h"

using namespace corelib;

namespace {

// Points QUEND_TRACE at a file for the life of the object.
struct TraceFile final {
    TraceFile() { quend::test::setEnv("QUEND_TRACE", path.string()); }
    ~TraceFile() { quend::test::unsetEnv("QUEND_TRACE"); }
    quend::test::TempDir dir;
    std::filesystem::path path = dir / "trace.log";
};

TEST(Exceptions, FormatPrintfStyleCutTo999) {
    const int line = __LINE__ + 1;
    const xwarning here("%s:%d socket failed(errno=%d)", QUEND_HERE, 24);
    EXPECT_EQ(here.what(),
              std::string(__FILE__) + ":" + std::to_string(line) + " socket failed(errno=24)");
    const xcritical cut("%s!", std::string(1500, 'x').c_str());
    EXPECT_EQ(std::string(cut.what()), std::string(999, 'x'));
}

TEST(Trace, PrintTraceFormatsIntoTheCurrentSinkCutTo4095) {
    EXPECT_EQ(trace_sink(), &trace_output());
    print_trace(nullptr, "[%d]", 1);  // a silenced trace is not an error
    quend::test::TraceRecorder sink;
    print_trace(trace_sink(), "[%d]", 30);
    print_trace(trace_sink(), "%s", std::string(5000, 'k').c_str());
    EXPECT_EQ(sink.lines(), (std::vector<std::string>{"[30]", std::string(4095, 'k')}));
}

// Unless the trace is silenced: standard output is then a program's result.
TEST(Trace, SendReportsGoToStandardOutput) {
    testing::internal::CaptureStdout();
    report_send(256);
    set_trace_sink(nullptr);
    report_send(1);
    set_trace_sink(&trace_output());
    report_send(8);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Success send 256 bytes\nSuccess send 8 bytes\n");
}

// A line goes to standard error and the trace file; lines from many threads stay whole there.
TEST(Trace, LinesFromManyThreadsStayWholeInTheTraceFile) {
    TraceFile file;
    testing::internal::CaptureStderr();
    print_trace(&trace_output(), "[%d]", 30);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[30]\r\n");
    testing::internal::CaptureStderr();
    std::vector<std::jthread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 50; ++i)
                print_trace(&trace_output(), "[%d:%02d]", t, i);
        });
    threads.clear();  // joins them
    testing::internal::GetCapturedStderr();
    const std::string all = quend::test::readFile(file.path);
    ASSERT_EQ(all.substr(0, 6), "[30]\r\n");
    ASSERT_EQ(all.size(), 6u + 200u * 8u);
    for (size_t pos = 6; pos < all.size(); pos += 8)
        ASSERT_EQ(all.substr(pos, 1) + all.substr(pos + 6, 2), "[\r\n") << "mixed at " << pos;
}

TEST(TraceDeathTest, FatalSocketErrorEndsTheProcessWithStatusOne) {
    // On Windows the dying statement runs in this program started anew, which finds the trace
    // file named already and writes that one.
    const char* named = std::getenv("QUEND_TRACE");
    std::optional<TraceFile> file;
    const std::filesystem::path path = named != nullptr ? named : file.emplace().path;
    EXPECT_EXIT((errno = EBADF, fatal_socket_error("select")), testing::ExitedWithCode(1),
                "select: Bad file descriptor\\(9\\)");
    EXPECT_EQ(quend::test::readFile(path), "select: Bad file descriptor(9)\n");
}

}  // namespace
