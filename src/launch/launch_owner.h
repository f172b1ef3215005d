#pragma once
// What CQuendalorManager reads of the window that owns it. GUI thread only.

#include <string>

#include "launch/server_selection.h"

class LaunchOwner {
public:
    virtual ~LaunchOwner() = default;

    // The left and right server trees; either may be null.
    virtual ServerSelection* LeftTree() = 0;
    virtual ServerSelection* RightTree() = 0;
    // The selected game's update address.
    virtual std::string UpdateUrl() const = 0;
    // The game folder in native form, ending in "/".
    virtual std::string GameDir() const = 0;
};
