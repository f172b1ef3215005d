#pragma once
// What the update engine needs of whoever drives it: a window, or a program without one. The
// engine's threads call these from their own threads, so every member must be callable from any
// thread; none may wait for the owner. What the owner shows reaches it as posted messages.

#include <string>

#include "platform/message_target.h"

namespace patch {

class UpdateOwner {
public:
    virtual ~UpdateOwner() = default;

    // The game folder in native form, ending in "/"; read once at the start of each pass.
    virtual std::string GameDir() const = 0;
    // The selected game's update address; read afresh for every file.
    virtual std::string UpdateUrl() const = 0;
    // The launcher's own folder in native form, ending in "/" (home of NotUpdateList.txt).
    virtual std::string ModuleDir() const = 0;
    // "-NoUpdate": the check pass compares and fetches nothing.
    virtual bool NoUpdate() const = 0;

    // Where status, progress and completion messages are posted.
    virtual platform::MessageTarget& Target() = 0;
};

}  // namespace patch
