#pragma once
// Where trace lines go: an exchangeable sink, one line per call. Implementations must accept
// calls from several threads.

namespace corelib {

class xoutput {
public:
    virtual ~xoutput() = default;
    virtual void write(const char* line) = 0;
};

}  // namespace corelib
