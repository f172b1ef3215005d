#pragma once
// Local time of a moment, as the system's time zone has it. Any thread (the reentrant forms of
// both systems).

#include <ctime>

namespace platform {

// False when the system cannot express `seconds` as a local time.
bool LocalTime(std::time_t seconds, std::tm& local);

}  // namespace platform
