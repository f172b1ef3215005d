#pragma once
// CHeadlessRun: one run of the launcher's command-line mode, from Launcher.ini to the exit
// status. It asks the launcher server for the game list as the window does, chooses the game,
// fetches its checksum list and runs the window's check pass over the game folder, verifying or
// repairing, with the progress on standard error and the result on standard output. Main thread
// only: the connection's and the engine's threads reach it through posted messages, Ctrl-C
// through a watch of its own.

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "config/launcher_config.h"
#include "headless/headless_options.h"
#include "headless/headless_target.h"
#include "patch/filelist.h"
#include "patch/update_manager.h"
#include "patch/update_result.h"
#include "protocol/client_connection.h"
#include "protocol/server_directory.h"

namespace headless {

// What the program's main gives the command-line mode besides its arguments.
struct HeadlessHost {
    std::string modulePath;  // the running program file
    // Takes the single-instance lock named `name` for the rest of the process; false when
    // another process holds it. Empty: there is no such lock here.
    std::function<bool(const std::string& name)> takeInstanceLock;
    std::FILE* out = stdout;  // the result: the files that differ
    std::FILE* err = stderr;  // progress, summary and errors
};

class CHeadlessRun final {
public:
    CHeadlessRun(HeadlessHost host, HeadlessOptions options);
    CHeadlessRun(const CHeadlessRun&) = delete;
    CHeadlessRun& operator=(const CHeadlessRun&) = delete;

    // The whole run; its exit status (headless_options.h).
    int Run();

private:
    int RunSteps();
    void ReadSettings();
    void TakeLock();
    std::shared_ptr<const protocol::ServerLists> FetchGameList();
    std::string GameFolder() const;
    std::vector<patch::_filelist> FetchChecksumList(patch::CMyUpdateManager& manager,
                                                    const std::string& name,
                                                    const std::string& updateUrl);
    patch::UpdateResult RunPass(patch::CMyUpdateManager& manager,
                                std::vector<patch::_filelist> entries);
    int ReportVerify(const patch::UpdateResult& result) const;
    int ReportRepair(const patch::UpdateResult& result) const;
    // Throws the interruption when the user asked to stop.
    static void CheckInterrupt(const CHeadlessTarget::Figures& figures);
    void Say(const std::string& text) const;

    HeadlessHost m_host;
    const HeadlessOptions m_options;
    const bool m_bRepair;
    std::string m_strTitle;  // the program file's name without its extension
    std::string m_pszModuleDir;
    config::LauncherConfig m_config;
    std::string m_strGameName;  // UTF-8, for the summary
    std::string m_szGameDir;

    CHeadlessTarget m_target;                  // outlives the connection and the engine
    protocol::CClientConnection m_connection;  // to the launcher server, until the lists are in
    std::chrono::steady_clock::time_point m_start;
};

// Parses `args` (the arguments after the program name) and runs them; the exit status.
int RunHeadless(const std::vector<std::string>& args, HeadlessHost host);

}  // namespace headless
