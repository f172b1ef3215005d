#pragma once
// Starts the game: checks the player's server choice before the login, and after it writes the
// chosen server into the game's Bin\Qnd.ini and starts Bin\Qnd.exe with the session's values.
// GUI thread only.

#include <functional>
#include <string>

#include "launch/server_selection.h"

namespace launch {

class CQuendalorManager final {
public:
    // How the launcher ends when the game's settings cannot be written; tests observe it here.
    using ExitHook = std::function<void(int code)>;

    CQuendalorManager();
    explicit CQuendalorManager(ExitHook exitProcess);

    // Keeps `selection` for the launch that may follow. 1 when a game may be started with it
    // and the selected game's update address `updateUrl`; 0 after showing why not
    // ("UnSelectServer" for an incomplete selection, "VersionNotReady" with
    // "WaitForSafeService", or "UnSetUpdateServer").
    int CheckSelection(ServerSelection selection, const std::string& updateUrl);

    // Writes ServerHost, ServerPort and ServerSetInfo into Bin\Qnd.ini of `gameDir` (made
    // writable first) and starts Bin\Qnd.exe with
    // "USERID=<userId> USERKEY=<userKey> UNDERAGE=<underage> -LauncherPassed -pzqmvt " split at
    // blanks into its arguments, in the launcher's working folder; a Windows program goes
    // through wine when wine is on the path. Answers 1 once the file is written, whether the game
    // started or not ("FailExecuteProgram" is shown then). A disabled server, or no selection,
    // is refused with a message and 0, writing and starting nothing. A failed write shows
    // "FailSaveConfig" and ends the launcher with code 0.
    // `gameDir` is native and ends in "/".
    int LaunchGame(const std::string& gameDir, std::string userId, std::string userKey,
                   std::string underage);

private:
    bool StartGame(const std::string& program, const std::string& commandLine) const;

    ServerSelection m_selection;  // of the last CheckSelection
    ExitHook m_exitProcess;
};

}  // namespace launch
