#include "patch/update_owner.h"

#include <chrono>

void WaitDownloadEventWhileRunning(platform::ManualResetEvent& event,
                                   const std::function<bool()>& running) {
    constexpr std::chrono::milliseconds kSlice{100};
    while (running()) {
        if (event.WaitFor(kSlice)) {
            event.Reset();
            return;
        }
    }
}
