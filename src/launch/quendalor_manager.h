#pragma once
// Starts the game: checks the player's server choice before the login, and after it writes the
// chosen server into the game's Bin\Qnd.ini and starts Bin\Qnd.exe with the session's values.
// GUI thread only.

#include <functional>
#include <string>

#include "launch/launch_owner.h"
#include "launch/server_selection.h"
#include "protocol/server_records.h"

class CQuendalorManager final {
public:
    // How the launcher ends when the game's settings cannot be written; tests observe it here.
    using ExitHook = std::function<void(int code)>;

    CQuendalorManager();
    explicit CQuendalorManager(ExitHook exitProcess);
    virtual ~CQuendalorManager() = default;

    void SetOwner(LaunchOwner* owner) { m_pOwner = owner; }

    // Takes the selection of the left tree, else the right one, else the tree used last time.
    // 1 when a game may be started with it; 0 after showing why not ("UnSelectServer",
    // "VersionNotReady" with "WaitForSafeService", or "UnSetUpdateServer").
    int CheckSelection();

    // Writes ServerHost, ServerPort and ServerSetInfo into the game folder's Bin\Qnd.ini (made
    // writable first) and starts Bin\Qnd.exe with
    // "USERID=<userId> USERKEY=<userKey> UNDERAGE=<underage> -LauncherPassed -pzqmvt " split at
    // blanks into its arguments, in the launcher's working folder; a Windows program goes
    // through wine when wine is on the path. Answers 1 once the file is written, whether the game
    // started or not ("FailExecuteProgram" is shown then). A disabled server, or no selection,
    // is refused with a message and 0, writing and starting nothing. A failed write shows
    // "FailSaveConfig" and ends the launcher with code 0.
    int LaunchGame(std::string userId, std::string userKey, std::string underage);

private:
    bool StartGame(const std::string& program, const std::string& commandLine) const;

    LaunchOwner* m_pOwner = nullptr;
    const protocol::GameRecord* m_pGame = nullptr;
    const protocol::ServerGroup* m_pGroup = nullptr;
    const protocol::ServerEntry* m_pServer = nullptr;
    const protocol::Endpoint* m_pEndpoint = nullptr;
    ServerSelection* m_pSelTree = nullptr;
    ExitHook m_exitProcess;
};
