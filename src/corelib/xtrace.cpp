#include "corelib/xtrace.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

namespace corelib {

namespace {

xtrace g_trace;
std::atomic<xoutput*> g_sink{&g_trace};
std::mutex g_output_mutex;  // keeps each piece of diagnostic output whole

struct file_closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The file half of the diagnostic channel: opened per call, so a file moved away or a variable
// set late is honoured.
void append_trace_file(const std::string& text) {
    const char* path = std::getenv("QUEND_TRACE");
    if (path == nullptr || *path == '\0')
        return;
    std::unique_ptr<std::FILE, file_closer> file(std::fopen(path, "ab"));
    if (file)
        std::fwrite(text.data(), 1, text.size(), file.get());
}

}  // namespace

void xtrace::write(const char* line) {
    const std::string text = std::string(line) + "\r\n";
    std::lock_guard<std::mutex> lock(g_output_mutex);
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
    append_trace_file(text);
}

xtrace& trace_output() {
    return g_trace;
}

xoutput* trace_sink() {
    return g_sink.load();
}

void set_trace_sink(xoutput* sink) {
    g_sink.store(sink);
}

void print_trace(xoutput* sink, const char* format, ...) {
    if (sink == nullptr)
        return;
    char area[4096] = "";
    va_list args;
    va_start(args, format);
    std::vsnprintf(area, sizeof area, format, args);
    va_end(args);
    sink->write(area);
}

void fatal_socket_error(const char* text) {
    const int code = errno;
    char line[4096] = "";
    std::snprintf(line, sizeof line, "%s: %s(%d)\n", text, std::strerror(code), code);
    std::fflush(stdout);
    {
        std::lock_guard<std::mutex> lock(g_output_mutex);
        std::fputs(line, stderr);
        std::fflush(stderr);
        // Standard error already has the line; the trace file is the rest of the debug channel.
        append_trace_file(line);
    }
    std::exit(1);
}

void report_send(long bytes) {
    if (g_sink.load() == nullptr)
        return;
    std::printf("Success send %ld bytes\n", bytes);
    std::fflush(stdout);
}

}  // namespace corelib
