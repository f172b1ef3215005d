#pragma once
// What the update manager needs of the window that owns it. The check thread and the download
// thread call these from their own threads, so every member must be callable from any thread;
// none may wait for the window: what the window shows reaches it as posted messages.

#include <functional>
#include <string>

#include "platform/manual_reset_event.h"
#include "platform/message_target.h"

class UpdateOwner {
public:
    virtual ~UpdateOwner() = default;

    // The game folder in native form, ending in "/".
    virtual std::string GameDir() const = 0;
    // False once the window starts to close: the workers end at their next look.
    virtual bool IsRunning() const = 0;
    // The selected game's update address; read afresh for every file.
    virtual std::string UpdateUrl() const = 0;
    // The launcher's own folder in native form, ending in "/" (home of NotUpdateList.txt).
    virtual std::string ModuleDir() const = 0;
    // "-NoUpdate": the check pass compares and fetches nothing.
    virtual bool NoUpdate() const = 0;

    // Set by the download thread after every queued file.
    virtual platform::ManualResetEvent& DownloadEvent() = 0;
    // Waits for DownloadEvent as WaitDownloadEventWhileRunning does.
    virtual void WaitDownloadEvent() = 0;

    // Where progress and completion messages are posted.
    virtual platform::MessageTarget& Target() = 0;
};

// While `running` holds, waits up to 100 ms at a time for `event`; once it is set, resets it and
// returns. When `running` turns false the wait ends and the event is left as it is.
void WaitDownloadEventWhileRunning(platform::ManualResetEvent& event,
                                   const std::function<bool()>& running);
