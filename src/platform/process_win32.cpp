#include "platform/process.h"

#include <windows.h>
// needs the types <windows.h> declares
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "platform/utf16.h"
#include "platform/win32_support.h"

namespace platform {
namespace {

// One argument quoted so that the C runtime's parser (CommandLineToArgvW) gives it back as it was:
// backslashes count only before a quote.
void AppendQuoted(std::wstring& line, const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += argument;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

UniqueHandle OpenProcessHandle(ProcessId pid, DWORD access) {
    if (pid <= 0)
        return UniqueHandle(nullptr);
    return UniqueHandle(::OpenProcess(access, FALSE, static_cast<DWORD>(pid)));
}

bool HasExited(const UniqueHandle& process, DWORD milliseconds) {
    return ::WaitForSingleObject(process.get(), milliseconds) == WAIT_OBJECT_0;
}

struct CloseRequest {
    DWORD pid;
    bool sent;
};

// WM_CLOSE to every top-level window of the process: the nearest Windows has to SIGTERM.
bool RequestClose(ProcessId pid) {
    CloseRequest request{static_cast<DWORD>(pid), false};
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* request = reinterpret_cast<CloseRequest*>(data);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner == request->pid && ::PostMessageW(window, WM_CLOSE, 0, 0))
                request->sent = true;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&request));
    return request.sent;
}

std::wstring ImageName(HANDLE process) {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(name.size());
        if (::QueryFullProcessImageNameW(process, 0, name.data(), &size)) {
            name.resize(size);
            return name;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || name.size() > 32768)
            return {};
        name.resize(name.size() * 2);
    }
}

bool FileIdentity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION* info) {
    const UniqueHandle file(
        ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file && ::GetFileInformationByHandle(file.get(), info);
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

bool IsRegularFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool StartWithLine(const std::string& path, std::wstring line, const std::string& workDir,
                   ProcessId* pid) {
    const std::wstring program = Utf8ToWide(path);
    const std::wstring folder = Utf8ToWide(workDir);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &started)) {
        return false;
    }
    const UniqueHandle process(started.hProcess);
    const UniqueHandle thread(started.hThread);
    if (pid != nullptr)
        *pid = static_cast<ProcessId>(started.dwProcessId);
    return true;
}

}  // namespace

bool StartProcess(const std::string& path, const std::vector<std::string>& args,
                  const std::string& workDir, ProcessId* pid) {
    std::wstring line;
    AppendQuoted(line, Utf8ToWide(path));
    for (const std::string& arg : args) {
        line += L' ';
        AppendQuoted(line, Utf8ToWide(arg));
    }
    return StartWithLine(path, std::move(line), workDir, pid);
}

bool StartProcessWithCommandLine(const std::string& path, const std::string& parameters,
                                 const std::string& workDir) {
    std::wstring line;
    AppendQuoted(line, Utf8ToWide(path));
    line += L' ';
    line += Utf8ToWide(parameters);
    return StartWithLine(path, std::move(line), workDir, nullptr);
}

bool StartsWindowsPrograms() {
    return true;
}

bool StartBatchFile(const std::string& path) {
    const wchar_t* comspec = ::_wgetenv(L"ComSpec");
    const std::wstring interpreter = comspec != nullptr && *comspec != L'\0' ? comspec : L"cmd.exe";
    std::wstring line;
    AppendQuoted(line, interpreter);
    line += L" /c ";
    AppendQuoted(line, Utf8ToWide(path));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                          nullptr, &startup, &started)) {
        return false;
    }
    const UniqueHandle process(started.hProcess);
    const UniqueHandle thread(started.hThread);
    return true;
}

bool EndProcess(ProcessId pid, std::chrono::milliseconds grace) {
    if (pid == CurrentProcessId())
        return false;
    const UniqueHandle process =
        OpenProcessHandle(pid, PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION);
    if (!process || HasExited(process, 0))
        return false;
    if (!RequestClose(pid) || !HasExited(process, static_cast<DWORD>(grace.count()))) {
        ::TerminateProcess(process.get(), 0);
        ::WaitForSingleObject(process.get(), INFINITE);
    }
    return true;
}

bool IsProcessRunning(ProcessId pid) {
    const UniqueHandle process = OpenProcessHandle(pid, SYNCHRONIZE);
    return process && !HasExited(process, 0);
}

ProcessId CurrentProcessId() {
    return static_cast<ProcessId>(::GetCurrentProcessId());
}

std::string ProcessExePath(ProcessId pid) {
    const UniqueHandle process =
        OpenProcessHandle(pid, PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE);
    if (!process || HasExited(process, 0))
        return {};
    return WideToUtf8(ImageName(process.get()));
}

std::string OwnExePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (size == 0)
            return {};
        if (size < path.size()) {
            path.resize(size);
            return WideToUtf8(path);
        }
        path.resize(path.size() * 2);
    }
}

bool IsOwnProgramFile(const std::string& path) {
    BY_HANDLE_FILE_INFORMATION own{};
    BY_HANDLE_FILE_INFORMATION other{};
    return FileIdentity(Utf8ToWide(OwnExePath()), &own) && FileIdentity(Utf8ToWide(path), &other) &&
           SameFile(own, other);
}

bool IsRunByOtherProcess(const std::string& path) {
    BY_HANDLE_FILE_INFORMATION file{};
    if (!FileIdentity(Utf8ToWide(path), &file))
        return false;
    const UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = snapshot && ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == ::GetCurrentProcessId())
            continue;
        const UniqueHandle process = OpenProcessHandle(static_cast<ProcessId>(entry.th32ProcessID),
                                                       PROCESS_QUERY_LIMITED_INFORMATION);
        BY_HANDLE_FILE_INFORMATION program{};
        if (process && FileIdentity(ImageName(process.get()), &program) && SameFile(file, program))
            return true;
    }
    return false;
}

std::string FindOnPath(const std::string& name) {
    const wchar_t* path = ::_wgetenv(L"PATH");
    if (name.empty() || path == nullptr)
        return {};
    const std::wstring wideName = Utf8ToWide(name);
    const std::wstring_view folders(path);
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = std::min(folders.find(L';', start), folders.size());
        std::wstring folder(folders.substr(start, end - start));
        if (!folder.empty()) {
            if (folder.back() != L'\\' && folder.back() != L'/')
                folder += L'\\';
            for (const wchar_t* extension : {L"", L".exe"}) {
                const std::wstring candidate = folder + wideName + extension;
                if (IsRegularFile(candidate))
                    return WideToUtf8(candidate);
            }
        }
        if (end == folders.size())
            return {};
        start = end + 1;
    }
}

bool OpenInBrowser(const std::string& url) {
    if (url.empty())
        return false;
    // Above 32 is success; the shell answers small numbers for its failures.
    const auto result = reinterpret_cast<INT_PTR>(::ShellExecuteW(
        nullptr, L"open", Utf8ToWide(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

void ExitZeroOnTerminate() {}

}  // namespace platform
