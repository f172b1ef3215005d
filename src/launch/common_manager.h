#pragma once
// The main window's small helper: it finds the game folder, the parent of the working folder the
// launcher was started in. Its other task, the update-or-launch step of the Start button, comes
// with the main window. GUI thread only.

#include <string>

#include "launch/common_owner.h"

class CCommonManager final {
public:
    virtual ~CCommonManager() = default;

    void SetOwner(CommonOwner* owner) { m_pOwner = owner; }

    // Gives the owner the working folder up to and including its last "/" ("/games/Launcher"
    // gives "/games/"); 1, or -1 when that comes out empty (then the owner gets the empty text).
    int FillGameDir();

private:
    CommonOwner* m_pOwner = nullptr;
};
