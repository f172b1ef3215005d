#pragma once
// The program's diagnostic output: the trace sink that writes each line to standard error (and,
// when QUEND_TRACE names a file, appends it there), the current-sink pointer, the trace and send
// report functions, and the orderly end after a failed socket wait. Any thread may call them.

#include "corelib/xoutput.h"

namespace corelib {

class xtrace final : public xoutput {
public:
    // Writes the line and "\r\n" as one piece, so lines from several threads never mix.
    void write(const char* line) override;
};

// The one program-wide xtrace.
xtrace& trace_output();

// The sink that trace lines go to; starts as trace_output(). Start-up may exchange it before any
// other thread runs; null silences the trace and the send reports, for a program whose standard
// output is its result.
xoutput* trace_sink();
void set_trace_sink(xoutput* sink);

// Formats printf-style (cut to 4095 characters) and writes the line to `sink`; nothing when the
// sink is null.
void print_trace(xoutput* sink, const char* format, ...) __attribute__((format(printf, 2, 3)));

// After a failed socket call: writes "<text>: <error text>(<errno>)" to standard error and the
// trace file, then ends the process with status 1.
[[noreturn]] void fatal_socket_error(const char* text);

// Reports a socket send that went through: "Success send <bytes> bytes" on standard output,
// unless the trace is silenced.
void report_send(long bytes);

}  // namespace corelib
