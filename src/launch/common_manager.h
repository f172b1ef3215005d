#pragma once
// The main window's small helper: it finds the game folder, the parent of the working folder the
// launcher was started in. Its other task, the update-or-launch step of the Start button, lives
// with the window's rules. GUI thread only.

#include <string>

namespace launch {

class CCommonManager final {
public:
    // The working folder up to and including its last "/" ("/games/Launcher" gives "/games/");
    // empty when that comes out empty (no working folder, or one without a separator).
    std::string GameDir() const;
};

}  // namespace launch
