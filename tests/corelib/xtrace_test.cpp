// Exceptions, trace sinks and the process-level reports, observed on real streams, files and a
// child process.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "corelib/xexception.h"
#include "corelib/xtrace.h"
#include "support/test_support.h"

using namespace corelib;

namespace {

class RecordingSink final : public xoutput {
public:
    void write(const char* line) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        lines.emplace_back(line);
    }
    std::vector<std::string> lines;

private:
    std::mutex m_mutex;
};

// Points QUEND_TRACE at a file for the life of the object.
class TraceFile {
public:
    TraceFile() : m_path(m_dir / "trace.log") { setenv("QUEND_TRACE", m_path.c_str(), 1); }
    ~TraceFile() { unsetenv("QUEND_TRACE"); }
    std::string contents() const {
        return std::filesystem::exists(m_path) ? quend::test::readFile(m_path) : std::string();
    }

private:
    quend::test::TempDir m_dir;
    std::filesystem::path m_path;
};

TEST(Exceptions, FormatTheirTextPrintfStyleCutTo999) {
    try {
        throw xwarning("%s:%d socket failed(errno=%d)", "xsocket.cpp", 42, 24);
    } catch (const xexception& e) {
        EXPECT_STREQ(e.what(), "xsocket.cpp:42 socket failed(errno=24)");
    }
    const std::string long_text(1500, 'x');
    xcritical critical("%s!", long_text.c_str());
    EXPECT_EQ(std::string(critical.what()), std::string(999, 'x'));
    xwarning exact("%s", std::string(999, 'y').c_str());
    EXPECT_EQ(std::string(exact.what()).size(), 999u);

    const int line = __LINE__ + 1;
    xwarning here("%s:%d send failed", QUEND_HERE);
    const std::string expected =
        std::string(__FILE__) + ":" + std::to_string(line) + " send failed";
    EXPECT_EQ(here.what(), expected);

    // Both kinds are std::exception, caught as such.
    EXPECT_THROW(throw xcritical("%s:%d pthread_create failed(errno=%d)", QUEND_HERE, 11),
                 std::exception);
}

TEST(Trace, PrintTraceFormatsIntoTheGivenSink) {
    RecordingSink sink;
    print_trace(&sink, "[%d]", 30);
    const std::string long_text(5000, 'k');
    print_trace(&sink, "%s", long_text.c_str());
    ASSERT_EQ(sink.lines.size(), 2u);
    EXPECT_EQ(sink.lines[0], "[30]");
    EXPECT_EQ(sink.lines[1], std::string(4095, 'k'));
    print_trace(nullptr, "[%d]", 1);  // a silenced trace is not an error
}

TEST(Trace, CurrentSinkStartsAsTheProgramTraceAndCanBeExchanged) {
    EXPECT_EQ(trace_sink(), &trace_output());
    RecordingSink sink;
    set_trace_sink(&sink);
    print_trace(trace_sink(), "[%d]", 40);
    set_trace_sink(&trace_output());
    EXPECT_EQ(sink.lines, std::vector<std::string>{"[40]"});
}

TEST(Trace, ProgramTraceWritesLinesToStandardErrorAndTheTraceFile) {
    TraceFile file;
    testing::internal::CaptureStderr();
    print_trace(&trace_output(), "[%d]", 30);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "[30]\r\n");
    EXPECT_EQ(file.contents(), "[30]\r\n");

    // Lines written from several threads at once arrive whole.
    testing::internal::CaptureStderr();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 50; ++i)
                print_trace(&trace_output(), "[%d:%02d]", t, i);
        });
    }
    for (auto& thread : threads)
        thread.join();
    testing::internal::GetCapturedStderr();
    const std::string all = file.contents();
    EXPECT_EQ(all.size(), 6u + 200u * 8u);
    for (size_t pos = 6; pos < all.size(); pos += 8) {
        ASSERT_EQ(all[pos], '[') << "line mixed at " << pos;
        ASSERT_EQ(all.substr(pos + 6, 2), "\r\n") << "line mixed at " << pos;
    }
}

TEST(Trace, SendReportGoesToStandardOutput) {
    testing::internal::CaptureStdout();
    report_send(256);
    report_send(8);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Success send 256 bytes\nSuccess send 8 bytes\n");
}

TEST(TraceDeathTest, FatalSocketErrorEndsTheProcessWithStatusOne) {
    TraceFile file;
    EXPECT_EXIT(
        {
            errno = EBADF;
            fatal_socket_error("select");
        },
        testing::ExitedWithCode(1), "select: Bad file descriptor\\(9\\)");
    EXPECT_EQ(file.contents(), "select: Bad file descriptor(9)\n");
}

}  // namespace
