#include "headless/headless_run.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <system_error>
#include <utility>

#include "corelib/xtrace.h"
#include "frontend/update_owner_adapter.h"
#include "headless/game_choice.h"
#include "headless/progress_printer.h"
#include "launch/self_updater.h"
#include "patch/checksum_list.h"
#include "platform/codepage.h"
#include "platform/file_system.h"
#include "platform/interrupt_watch.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/terminal.h"
#include "protocol/launcher_messages.h"

namespace headless {
namespace {

using Clock = std::chrono::steady_clock;

// How often the main thread looks at the figures and redraws the progress.
constexpr std::chrono::milliseconds kTick{100};
// How long the launcher server may take to send both lists.
constexpr std::chrono::seconds kServerAnswer{30};

// A run that cannot go on: the text says why (UTF-8).
class RunError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The user asked to stop.
struct Interrupted {
    int signal = 0;
};

// Removes a file when it goes out of scope.
class RemoveOnExit final {
public:
    explicit RemoveOnExit(std::string path) : m_path(std::move(path)) {}
    ~RemoveOnExit() { platform::RemoveFile(m_path); }
    RemoveOnExit(const RemoveOnExit&) = delete;
    RemoveOnExit& operator=(const RemoveOnExit&) = delete;

private:
    std::string m_path;
};

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string WithoutExtension(const std::string& fileName) {
    const std::size_t dot = fileName.rfind('.');
    return dot == std::string::npos || dot == 0 ? fileName : fileName.substr(0, dot);
}

// What kept `out` from taking all that was written to it (a full disk, a closed pipe), if
// anything: output a script reads must not be lost without a word.
std::string FlushError(std::FILE* out) {
    if (std::fflush(out) == 0 && std::ferror(out) == 0)
        return {};
    return errno != 0 ? std::strerror(errno) : "write error";
}

std::string Plural(long long count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Windows keeps a running program's file: unlike the window, which runs from its copy, this run
// cannot replace the launcher program the update server lists.
std::string OwnProgramHint(const std::string& path) {
    if (!platform::IsOwnProgramFile(path))
        return "";
    return " (it is this program, which cannot replace itself while it runs; the launcher's "
           "window replaces it, since it runs from its copy " +
           std::string(launch::SelfUpdater::kTempName) + ")";
}

}  // namespace

CHeadlessRun::CHeadlessRun(HeadlessHost host, HeadlessOptions options)
    : m_host(std::move(host)),
      m_options(std::move(options)),
      m_bRepair(m_options.mode == HeadlessOptions::Mode::Repair) {}

int CHeadlessRun::Run() {
    m_start = Clock::now();
    // The first request stops the run cleanly; a second one, for a run stuck in a system call,
    // ends the process at once.
    platform::InterruptWatch watch([this](int signal) {
        if (m_target.Now().signal != 0)
            platform::ExitProcessNow(128 + signal);
        m_target.Interrupt(signal);
    });
    try {
        return RunSteps();
    } catch (const RunError& error) {
        Say(error.what());
        return kExitError;
    } catch (const Interrupted& interrupted) {
        Say(m_bRepair ? "stopped; what was fetched of a file is kept, and the next --repair goes "
                        "on from there"
                      : "stopped");
        return 128 + interrupted.signal;
    } catch (const std::exception& error) {
        Say(std::string("failed: ") + error.what());
        return kExitError;
    }
}

int CHeadlessRun::RunSteps() {
    ReadSettings();
    if (m_bRepair)
        TakeLock();
    const std::shared_ptr<const protocol::ServerLists> lists = FetchGameList();
    const GameChoice choice = ChooseGame(lists->game_list, m_config.currentGame, m_options.game);
    if (choice.game == nullptr)
        throw RunError(choice.error);
    const protocol::GameRecord& game = *choice.game;
    m_strGameName = platform::AnsiToUtf8(game.name);
    // As the window refuses it: its list may be half published.
    if (game.version_not_ready != 0)
        throw RunError("the launcher server says the new version of the game " +
                       Quoted(m_strGameName) + " is not ready; try again later");
    if (game.update_url.empty())
        throw RunError("the launcher server gives the game " + Quoted(m_strGameName) +
                       " no update address");
    m_szGameDir = GameFolder();

    frontend::CUpdateOwnerAdapter owner(m_target, m_pszModuleDir, false);
    owner.SetGameDir(m_szGameDir);
    owner.SetUpdateUrl(game.update_url);
    patch::CMyUpdateManager::Settings settings;
    settings.connections = m_options.connections;
    patch::CMyUpdateManager manager(owner, m_strTitle, settings);
    manager.StartDownloadThread();
    manager.LoadExcludeList();
    std::vector<patch::_filelist> entries =
        FetchChecksumList(manager, ChecksumListOf(game, m_config.games), game.update_url);
    const patch::UpdateResult result = RunPass(manager, std::move(entries));
    return m_bRepair ? ReportRepair(result) : ReportVerify(result);
}

// Launcher.ini beside the program, as the window's start-up reads it. Nothing of the
// connection's trace may reach standard output, which carries the result.
void CHeadlessRun::ReadSettings() {
    corelib::set_trace_sink(nullptr);
    m_strTitle = WithoutExtension(platform::GetFileNamePart(m_host.modulePath));
    platform::SetMessageCaption(m_strTitle);
    platform::SetMessageHandler(
        [err = m_host.err](const std::string& caption, const std::string& text) {
            std::fprintf(err, "%s: %s\n", caption.c_str(), text.c_str());
        });
    m_pszModuleDir = platform::GetFolderPart(m_host.modulePath);
    const std::string ini = m_pszModuleDir + "Launcher.ini";
    if (!config::ReadLauncherConfig(ini, m_config)) {
        std::error_code error;
        throw RunError(std::filesystem::exists(ini, error) ? "cannot read " + ini
                                                           : "no Launcher.ini at " + ini);
    }
}

// The lock a launcher window holds while it runs (as its temporary copy): a repair must not
// patch the folder under a window's own update, nor a window start under a repair.
void CHeadlessRun::TakeLock() {
    if (m_host.takeInstanceLock && !m_host.takeInstanceLock(launch::SelfUpdater::kTempName))
        throw RunError(
            "a launcher window is open (or another --repair runs); close it and try again");
}

// Requests 30 and 40 as the window's start-up sends them; the server groups come after the
// games, so once they are in, so is the game list.
std::shared_ptr<const protocol::ServerLists> CHeadlessRun::FetchGameList() {
    const std::string& server = m_config.treeServer;
    if (server.empty())
        throw RunError("Launcher.ini names no launcher server (TREE_SERVER is empty)");
    // Plain text where the encoded form belongs decodes to bytes no address has.
    if (!std::all_of(server.begin(), server.end(), [](char c) { return c > ' ' && c < 0x7F; }))
        throw RunError(
            "TREE_SERVER of Launcher.ini decodes to no address: are its values "
            "encoded (quend-pack ini)?");
    m_connection.SetInstalledGames(m_config.games);
    m_connection.SetMainWindow(&m_target);
    // A new snapshot once message 30 is in: a server that stops after it is told apart.
    const auto before = m_connection.Directory().Latest();
    const auto missing = [&]() -> std::string {
        return m_connection.Directory().Latest() == before ? "game list" : "server groups";
    };
    if (!m_connection.ConnectServer(server))
        throw RunError("cannot reach the launcher server at " + server);
    if (!m_connection.SendRequest(protocol::kGameListId))
        throw RunError("the launcher server at " + server + " closed the connection");
    const Clock::time_point deadline = Clock::now() + kServerAnswer;
    for (;;) {
        const CHeadlessTarget::Figures figures = m_target.Wait(kTick);
        CheckInterrupt(figures);
        if (figures.listsIn)
            break;
        if (figures.connectionLost)
            throw RunError("the launcher server at " + server +
                           " closed the connection before it sent the " + missing());
        if (Clock::now() >= deadline)
            throw RunError("the launcher server at " + server + " sent no " + missing() +
                           " within " + std::to_string(kServerAnswer.count()) + " seconds");
    }
    m_connection.SetMainWindow(nullptr);
    m_connection.StopConnection();
    return m_connection.Directory().Latest();
}

// The folder that holds the launcher's own folder: the installation's layout, whatever folder
// the run was started in.
std::string CHeadlessRun::GameFolder() const {
    std::string launcherDir = m_pszModuleDir;
    while (!launcherDir.empty() && (launcherDir.back() == '/' || launcherDir.back() == '\\'))
        launcherDir.pop_back();
    const std::string gameDir = platform::GetFolderPart(launcherDir);
    if (gameDir.empty())
        throw RunError("the launcher's folder " + m_pszModuleDir +
                       " lies in no folder that could be the game folder");
    return gameDir;
}

// Into the temporary folder, not the game folder: a window may be fetching the same list there.
std::vector<patch::_filelist> CHeadlessRun::FetchChecksumList(patch::CMyUpdateManager& manager,
                                                              const std::string& name,
                                                              const std::string& updateUrl) {
    std::error_code error;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(error);
    if (error)
        throw RunError("no temporary folder for the checksum list: " + error.message());
    const std::string path =
        (temp / ("quend-" + std::to_string(platform::CurrentProcessId()) + "-" + name)).string();
    const RemoveOnExit list(path);
    std::future<patch::FileOutcome> fetched = manager.QueueListDownload(name, path);
    while (fetched.wait_for(kTick) != std::future_status::ready) {
        // Cut at once and ended as cancelled, before the list's file is removed.
        if (m_target.Now().signal != 0)
            manager.Stop();
    }
    const patch::FileOutcome outcome = fetched.get();
    CheckInterrupt(m_target.Now());
    const std::string where = Quoted(name) + " from " + updateUrl;
    if (outcome.kind == patch::FileOutcome::Kind::LocalFailed)
        throw RunError("cannot write the checksum list to " + outcome.path + ": " + outcome.reason);
    if (outcome.Failed())
        throw RunError("cannot fetch the checksum list " + where + ": " + outcome.reason);
    std::optional<std::vector<patch::_filelist>> entries = patch::ReadChecksumList(path);
    if (!entries)
        throw RunError("cannot read the checksum list " + where);
    // A web page answered in its place (a maintenance or login page) has no digests.
    for (const patch::_filelist& entry : *entries) {
        if (entry.md5.size() != 32 || !std::all_of(entry.md5.begin(), entry.md5.end(), [](char c) {
                return std::isxdigit(static_cast<unsigned char>(c)) != 0;
            }))
            throw RunError("the checksum list " + where + " is not a checksum list: its line " +
                           Quoted(platform::AnsiToUtf8(entry.fileName)) +
                           " gives no MD5 of 32 hexadecimal digits");
    }
    return std::move(*entries);
}

patch::UpdateResult CHeadlessRun::RunPass(patch::CMyUpdateManager& manager,
                                          std::vector<patch::_filelist> entries) {
    m_target.ResetFigures();
    manager.SetPostProgress(true);
    CProgressPrinter printer(m_host.err, platform::IsTerminal(m_host.err),
                             m_bRepair ? "repair" : "verify", m_bRepair);
    const auto mode = m_bRepair ? patch::CMyUpdateManager::PassMode::Repair
                                : patch::CMyUpdateManager::PassMode::Verify;
    if (!manager.StartPass(std::move(entries), mode))
        throw RunError("the update engine did not take the pass");
    for (;;) {
        const CHeadlessTarget::Figures figures = m_target.Wait(kTick);
        CheckInterrupt(figures);
        if (figures.range > 0)
            printer.Show(static_cast<double>(figures.done) / static_cast<double>(figures.range),
                         figures.fetched, Clock::now());
        if (figures.passDone)
            break;
    }
    printer.Close();
    return manager.LastResult();
}

// The engine's destructor then stops it, cutting the transfers under way; their part files stay
// for the next run.
void CHeadlessRun::CheckInterrupt(const CHeadlessTarget::Figures& figures) {
    if (figures.signal != 0)
        throw Interrupted{figures.signal};
}

// The differing files' listed names on standard output, the summary on standard error.
int CHeadlessRun::ReportVerify(const patch::UpdateResult& result) const {
    for (const std::string& name : result.differing)
        std::fprintf(m_host.out, "%s\n", platform::AnsiToUtf8(name).c_str());
    if (const std::string error = FlushError(m_host.out); !error.empty())
        throw RunError("cannot write the names of the files that differ to standard output: " +
                       error);
    const std::string game = "game " + Quoted(m_strGameName) + " in " + m_szGameDir;
    if (result.differing.empty()) {
        Say("verify: " + game + ": all " + Plural(result.checkedFiles, "file is", "files are") +
            " current");
        return kExitCurrent;
    }
    // A repair refuses what the list places outside the game folder.
    const auto outside =
        std::count_if(result.differing.begin(), result.differing.end(),
                      [](const std::string& name) { return !patch::IsSafeListPath(name); });
    std::string repair = "; --repair fetches them";
    if (outside > 0)
        repair = "; --repair fetches " + std::to_string(result.differing.size() - outside) +
                 " of them, not the " + std::to_string(outside) +
                 " the checksum list places outside the game folder";
    Say("verify: " + game + ": " + std::to_string(result.differing.size()) + " of " +
        Plural(result.checkedFiles, "file differs", "files differ") + repair);
    return kExitDiffers;
}

int CHeadlessRun::ReportRepair(const patch::UpdateResult& result) const {
    const std::string game = "game " + Quoted(m_strGameName) + " in " + m_szGameDir;
    if (result.NoSpace())
        throw RunError("not enough disk space for the repair in " + m_szGameDir + ": it needs " +
                       patch::FormatByteSize(result.spaceNeeded) + ", " +
                       patch::FormatByteSize(result.spaceFree) + " are free; nothing was fetched");
    if (result.failedFiles > 0) {
        if (result.firstLocal.Failed())
            Say("cannot write " + result.firstLocal.path + ": " + result.firstLocal.reason +
                OwnProgramHint(result.firstLocal.path));
        std::string why;
        if (!patch::IsSafeListPath(result.firstFailed))
            why = "; the checksum list places it outside the game folder";
        else if (!result.firstLocal.Failed())
            why = "; the update server did not deliver it as listed" +
                  (result.firstReason.empty() ? "" : " (" + result.firstReason + ")");
        throw RunError(
            "repair: " + game + ": " + Plural(result.failedFiles, "file was", "files were") +
            " not repaired, the first " + Quoted(platform::AnsiToUtf8(result.firstFailed)) + why);
    }
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - m_start);
    std::string fetched = Plural(result.fetchedFiles, "file", "files") + " fetched";
    if (result.fetchedFiles > 0) {
        fetched += " (" + patch::FormatByteSize(result.fetchedBytes) + " received";
        if (result.resumedBytes > 0)
            fetched +=
                ", " + patch::FormatByteSize(result.resumedBytes) + " kept from an earlier run";
        fetched += ")";
    }
    Say("repair: " + game + ": " + Plural(result.checkedFiles, "file", "files") + " checked, " +
        fetched + " in " + FormatDuration(seconds) + "; every file is current");
    return kExitCurrent;
}

void CHeadlessRun::Say(const std::string& text) const {
    std::fprintf(m_host.err, "%s: %s\n", m_strTitle.c_str(), text.c_str());
    std::fflush(m_host.err);
}

int RunHeadless(const std::vector<std::string>& args, HeadlessHost host) {
    const std::string program = platform::GetFileNamePart(host.modulePath);
    std::string error;
    const std::optional<HeadlessOptions> options = ParseHeadlessOptions(args, error);
    if (!options) {
        std::fprintf(host.err, "%s: %s\nTry \"%s --help\".\n", program.c_str(), error.c_str(),
                     program.c_str());
        return kExitError;
    }
    if (options->mode == HeadlessOptions::Mode::Help) {
        std::fputs(HeadlessUsage(program).c_str(), host.out);
        if (const std::string error = FlushError(host.out); !error.empty()) {
            std::fprintf(host.err, "%s: cannot write to standard output: %s\n", program.c_str(),
                         error.c_str());
            return kExitError;
        }
        return kExitCurrent;
    }
    return CHeadlessRun(std::move(host), *options).Run();
}

}  // namespace headless
