#pragma once
// Whether a standard stream reaches a terminal (a console on Windows), where a line may be drawn
// over again, rather than a file or a pipe. Any thread.

#include <cstdio>

namespace platform {

bool IsTerminal(std::FILE* stream);

}  // namespace platform
