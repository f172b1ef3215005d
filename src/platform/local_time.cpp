#include "platform/local_time.h"

namespace platform {

bool LocalTime(std::time_t seconds, std::tm& local) {
#if defined(_WIN32)
    return localtime_s(&local, &seconds) == 0;
#else
    return localtime_r(&seconds, &local) != nullptr;
#endif
}

}  // namespace platform
