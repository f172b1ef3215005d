#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/file.h"

extern char** environ;

namespace platform {
namespace {

class SpawnActions final {
public:
    SpawnActions() { ::posix_spawn_file_actions_init(&m_actions); }
    ~SpawnActions() { ::posix_spawn_file_actions_destroy(&m_actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
};

class SpawnAttributes final {
public:
    // The child starts with no blocked signals and SIGPIPE at its default, whatever this
    // process has set up for itself.
    SpawnAttributes() {
        ::posix_spawnattr_init(&m_attr);
        sigset_t none;
        sigemptyset(&none);
        ::posix_spawnattr_setsigmask(&m_attr, &none);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        ::posix_spawnattr_setsigdefault(&m_attr, &defaults);
        ::posix_spawnattr_setflags(&m_attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnAttributes() { ::posix_spawnattr_destroy(&m_attr); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    const posix_spawnattr_t* get() const { return &m_attr; }

private:
    posix_spawnattr_t m_attr;
};

// Through the system calls themselves: the C library's wrappers are not declared for C++
// everywhere we build.
int PidfdOpen(ProcessId pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

bool PidfdSignal(int pidfd, int signal) {
    return ::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0) == 0;
}

// Waits up to `timeout` (negative: without limit) for the process behind `pidfd` to exit.
bool WaitForExit(const File& pidfd, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int wait = -1;
        if (timeout.count() >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            wait = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
        }
        pollfd entry{static_cast<int>(pidfd.Handle()), POLLIN, 0};
        const int ready = ::poll(&entry, 1, wait);
        if (ready > 0)
            return true;
        if (ready == 0)
            return false;
        if (errno != EINTR)
            return false;
    }
}

// A process descriptor, owned like an open file.
File OpenProcess(ProcessId pid) {
    if (pid <= 0)
        return File();
    const int pidfd = PidfdOpen(pid);
    return pidfd < 0 ? File() : File::Adopt(pidfd);
}

std::string ReadLink(const std::string& link) {
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = ::readlink(link.c_str(), buffer.data(), buffer.size());
        if (length < 0)
            return {};
        if (static_cast<std::size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(length));
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool IsRunnableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

bool StartProcess(const std::string& path, const std::vector<std::string>& args,
                  const std::string& workDir, ProcessId* pid) {
    std::vector<char*> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    SpawnActions actions;
    if (!workDir.empty() &&
        ::posix_spawn_file_actions_addchdir_np(actions.get(), workDir.c_str()) != 0) {
        return false;
    }
    const SpawnAttributes attributes;
    pid_t child = -1;
    // glibc reports a failed chdir or exec here, so a false answer means nothing was started.
    if (::posix_spawn(&child, path.c_str(), actions.get(), attributes.get(), argv.data(),
                      environ) != 0) {
        return false;
    }
    if (pid != nullptr)
        *pid = child;
    return true;
}

bool EndProcess(ProcessId pid, std::chrono::milliseconds grace) {
    if (pid == CurrentProcessId())
        return false;
    const File process = OpenProcess(pid);
    if (!process.IsOpen() || WaitForExit(process, std::chrono::milliseconds(0)))
        return false;
    const int pidfd = static_cast<int>(process.Handle());
    if (!PidfdSignal(pidfd, SIGTERM))
        return false;
    if (!WaitForExit(process, grace)) {
        PidfdSignal(pidfd, SIGKILL);
        WaitForExit(process, std::chrono::milliseconds(-1));
    }
    return true;
}

bool IsProcessRunning(ProcessId pid) {
    const File process = OpenProcess(pid);
    return process.IsOpen() && !WaitForExit(process, std::chrono::milliseconds(0));
}

ProcessId CurrentProcessId() {
    return ::getpid();
}

std::string ProcessExePath(ProcessId pid) {
    if (pid <= 0)
        return {};
    return ReadLink("/proc/" + std::to_string(pid) + "/exe");
}

std::string OwnExePath() {
    return ReadLink("/proc/self/exe");
}

bool IsOwnProgramFile(const std::string& path) {
    struct stat own {};
    struct stat other {};
    return ::stat("/proc/self/exe", &own) == 0 && ::stat(path.c_str(), &other) == 0 &&
           own.st_dev == other.st_dev && own.st_ino == other.st_ino;
}

bool IsRunByOtherProcess(const std::string& path) {
    struct stat file {};
    if (::stat(path.c_str(), &file) != 0)
        return false;
    const std::string self = std::to_string(CurrentProcessId());
    std::error_code error;
    for (std::filesystem::directory_iterator entry("/proc", error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        const auto digit = [](unsigned char c) { return std::isdigit(c) != 0; };
        if (name == self || !std::all_of(name.begin(), name.end(), digit))
            continue;
        // An ended process (a zombie) has no program file any more.
        struct stat program {};
        if (::stat(("/proc/" + name + "/exe").c_str(), &program) == 0 &&
            program.st_dev == file.st_dev && program.st_ino == file.st_ino)
            return true;
    }
    return false;
}

std::string FindOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (name.empty() || path == nullptr)
        return {};
    const std::string_view folders(path);
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        std::string folder(folders.substr(start, end - start));
        if (folder.empty())
            folder = ".";
        const std::string candidate = folder + "/" + name;
        if (IsRunnableFile(candidate))
            return candidate;
        if (end == folders.size())
            return {};
        start = end + 1;
    }
}

bool StartProcessWithCommandLine(const std::string& path, const std::string& parameters,
                                 const std::string& workDir) {
    return StartProcess(path, SplitCommandLine(parameters), workDir);
}

bool StartsWindowsPrograms() {
    return false;
}

bool StartBatchFile(const std::string&) {
    return false;
}

bool OpenInBrowser(const std::string& url) {
    const std::string opener = FindOnPath("xdg-open");
    return !opener.empty() && !url.empty() && StartProcess(opener, {url}, "");
}

void ExitZeroOnTerminate() {
    struct sigaction action {};
    action.sa_handler = [](int) { ::_exit(0); };
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
}

}  // namespace platform
