#pragma once
// What CCommonManager needs of the window that owns it. GUI thread only.

#include <string>

class CommonOwner {
public:
    virtual ~CommonOwner() = default;

    // Stores the game folder (native form, ending in "/").
    virtual void SetGameDir(std::string dir) = 0;
};
