#include "launch/self_updater.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

#include "platform/ascii_case.h"
#include "platform/file_system.h"
#include "platform/message_box.h"
#include "platform/paths.h"

namespace launch {

namespace {

// The leading number as atoi reads it, but 0 for one that does not fit an int.
int ReadProcessId(const std::string& text) {
    errno = 0;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (errno == ERANGE || value > INT_MAX || value < INT_MIN)
        return 0;
    return static_cast<int>(value);
}

}  // namespace

SelfUpdater::SelfUpdater() : SelfUpdater(platform::ExitProcessNow) {}

SelfUpdater::SelfUpdater(ExitHook exitProcess) : m_exitProcess(std::move(exitProcess)) {}

bool SelfUpdater::Run(const std::string& arguments) {
    const std::string head = ParseCommandLine(arguments);
    if (!head.empty())
        EndProcessById(ReadProcessId(head));
    if (IsRunningAs(kTempName))
        return true;
    {
        // Launchers of one folder hand over one at a time: the copy one of them starts runs
        // before the next looks whether Temp.exe is in use.
        const platform::FileLock handOver(platform::GetFolderPart(platform::OwnExePath()),
                                          platform::FileLock::Kind::Exclusive);
        MakeTempCopy();
        // The copy may ask this process to end before it has ended itself; either way it ends
        // with code 0.
        platform::ExitZeroOnTerminate();
        // Else the launcher would end without a window or a word, as in a folder the player may
        // not write to.
        if (!StartTempCopy()) {
            platform::ShowMessage("无法启动 " + m_strTempPath +
                                  "，请确认登录器所在的文件夹可以写入");
            return false;
        }
    }
    EndProcessGracefully(platform::CurrentProcessId(), 0);
    return false;
}

std::string SelfUpdater::ParseCommandLine(const std::string& arguments) {
    const std::size_t dash = arguments.find('-');
    if (dash == std::string::npos)
        return arguments;
    m_strArgs = arguments.substr(dash);
    std::string rest = m_strArgs;
    while (!rest.empty()) {
        const std::size_t blank = rest.find(' ');
        const std::string token = rest.substr(0, blank);
        rest = blank == std::string::npos ? std::string() : rest.substr(blank + 1);
        if (platform::EqualsNoCase(token, "-NoCheck")) {
            m_bNoCheck = true;
        } else if (platform::EqualsNoCase(token, "-NoUpdate")) {
            m_bNoUpdate = true;
        }
    }
    return arguments.substr(0, dash);
}

void SelfUpdater::EndProcessById(platform::ProcessId pid) {
    // Only a launcher of this installation may be ended: the id comes from the command line, and
    // anything else it names is none of our business.
    if (pid <= 0 || pid == platform::CurrentProcessId())
        return;
    const std::string exe = platform::ProcessExePath(pid);
    if (exe.empty() ||
        platform::GetFolderPart(exe) != platform::GetFolderPart(platform::OwnExePath()))
        return;
    EndProcessGracefully(pid, 0);
}

bool SelfUpdater::EndProcessGracefully(platform::ProcessId pid, int exitCode) {
    if (pid == platform::CurrentProcessId()) {
        if (m_exitProcess)
            m_exitProcess(exitCode);
        return false;
    }
    return platform::EndProcess(pid);
}

bool SelfUpdater::IsRunningAs(const std::string& name) const {
    return platform::GetFileNamePart(platform::OwnExePath()) == name;
}

void SelfUpdater::MakeTempCopy() {
    m_strModulePath = platform::OwnExePath();
    m_strTempPath = platform::GetFolderPart(m_strModulePath) + kTempName;
    // A running copy keeps its file: the copy started from it again finds the first one running
    // and gives up, and the last of them removes the file.
    if (platform::IsRunByOtherProcess(m_strTempPath))
        return;
    std::error_code ignored;
    std::filesystem::remove(platform::FsPath(m_strTempPath), ignored);
    std::filesystem::copy_file(platform::FsPath(m_strModulePath), platform::FsPath(m_strTempPath),
                               std::filesystem::copy_options::overwrite_existing, ignored);
}

bool SelfUpdater::StartTempCopy() {
    std::string parameters = std::to_string(platform::CurrentProcessId()) + " " + m_strArgs;
    if (m_bNoCheck)
        parameters += " -NoCheck";
    if (m_bNoUpdate)
        parameters += " -NoUpdate";
    std::string folder = platform::GetFolderPart(m_strTempPath);
    if (folder.size() > 1)
        folder.pop_back();
    return platform::StartProcessWithCommandLine(m_strTempPath, parameters, folder);
}

platform::FileLock SelfUpdater::HoldTempCopy() {
    if (platform::GetFileNamePart(platform::OwnExePath()) != kTempName)
        return {};
    return platform::FileLock::OwnProgramFile(platform::FileLock::Kind::Shared);
}

void SelfUpdater::RemoveTempCopy(platform::FileLock hold) {
    const std::string exe = platform::OwnExePath();
    if (platform::GetFileNamePart(exe) != kTempName)
        return;
    if (hold && !hold.ReleaseAsLast())
        return;  // another process still runs from it and removes it when it ends
    if (!platform::IsOwnProgramFile(exe) || platform::RemoveFile(exe))
        return;
    // Windows keeps a running program's file: a batch run after this process deletes it once the
    // file is free, then itself.
    const std::string bat = platform::GetFolderPart(exe) + kDelBatName;
    std::ofstream out(platform::FsPath(bat), std::ios::binary | std::ios::trunc);
    out << DelBatText(kTempName);
    out.close();
    if (out)
        platform::StartBatchFile(bat);
}

// The command interpreter reads a batch in the console's code page, which need not hold the
// folder's name: the lines name the files through the batch's own folder (%~dp0) and path (%~f0)
// instead. Without /s, which would also delete files of that name in sub-folders.
std::string SelfUpdater::DelBatText(const std::string& exeName) {
    const std::string exe = "\"%~dp0" + exeName + "\"";
    return ":Repeat \r\ndel /f /q " + exe + " \r\nif exist " + exe +
           " goto Repeat \r\ndel /q \"%~f0\" \r\n";
}

}  // namespace launch
