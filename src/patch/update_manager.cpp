#include "patch/update_manager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

#include "config/text_table.h"
#include "patch/md5_context.h"
#include "patch/part_file.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/window_messages.h"

namespace {

constexpr std::size_t kReadSize = 327680;  // 0x50000: one read of a reply body
constexpr int kRequestSent = 5;
constexpr int kRequestRefused = 2;
constexpr int kRequestFailed = 0;

// Owns a descriptor for the length of a scope.
class ScopedFd final {
public:
    explicit ScopedFd(int fd) : m_fd(fd) {}
    ~ScopedFd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    ScopedFd(const ScopedFd&) = delete;
    ScopedFd& operator=(const ScopedFd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// A list line, text mode: the CR of a CRLF ending does not belong to it.
bool ReadLine(std::istream& in, std::string& line) {
    if (!std::getline(in, line))
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

// The date column, local time. Anything that does not read as a whole date in range gives 0,
// as does a year before 1900.
std::int64_t ReadListTime(const std::string& text) {
    unsigned short year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (std::sscanf(text.c_str(), "%hu-%hu-%hu %hu:%hu:%hu", &year, &month, &day, &hour, &minute,
                    &second) != 6)
        return 0;
    if (year < 1900 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
        second > 59)
        return 0;
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;
    const std::time_t time = std::mktime(&fields);
    return time == static_cast<std::time_t>(-1) ? 0 : static_cast<std::int64_t>(time);
}

// A list entry may only name a file below the game folder: no absolute path, no drive, no "..".
bool IsSafeListPath(const std::string& name) {
    if (name.empty() || name.front() == '\\' || name.front() == '/' ||
        name.find_first_of(std::string(":\0", 2)) != std::string::npos)
        return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("\\/", start);
        if (end == std::string::npos)
            end = name.size();
        if (name.compare(start, end - start, "..") == 0)
            return false;
        start = end + 1;
    }
    return true;
}

// A file name is data, not URL syntax: "%", "?" and "#" in it stand for themselves.
std::string EscapeUrlSyntax(const std::string& name) {
    std::string escaped;
    escaped.reserve(name.size());
    for (const char c : name) {
        if (c == '%')
            escaped += "%25";
        else if (c == '?')
            escaped += "%3F";
        else if (c == '#')
            escaped += "%23";
        else
            escaped += c;
    }
    return escaped;
}

// Update address + "/" + name with every backslash turned into a slash; the path part goes out
// in UTF-8. The name is converted before its separators are mapped: a GBK trail byte may be '\'.
std::string MakeUrl(const std::string& base, const std::string& fileName) {
    std::string url = base + "/";
    std::replace(url.begin(), url.end(), '\\', '/');
    const std::size_t scheme = url.find("://");
    const std::size_t path = url.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    if (path != std::string::npos)
        url = url.substr(0, path) + CMyUpdateManager::ToUtf8(url.substr(path));
    std::string name = EscapeUrlSyntax(CMyUpdateManager::ToUtf8(fileName));
    std::replace(name.begin(), name.end(), '\\', '/');
    return url + name;
}

// Hexadecimal digits compare without regard to case: a list written in upper case still installs.
bool SameDigest(const std::string& listed, const std::string& computed) {
    return std::equal(listed.begin(), listed.end(), computed.begin(), computed.end(),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

FileOutcome ServerFailure(const std::string& path, std::string reason) {
    return {FileOutcome::Kind::ServerFailed, path, std::move(reason)};
}

FileOutcome LocalFailure(const std::string& path, std::string reason) {
    return {FileOutcome::Kind::LocalFailed, path, std::move(reason)};
}

// Removes a file when it goes out of scope.
class RemoveOnExit final {
public:
    explicit RemoveOnExit(std::string path) : m_path(std::move(path)) {}
    ~RemoveOnExit() {
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
    }
    RemoveOnExit(const RemoveOnExit&) = delete;
    RemoveOnExit& operator=(const RemoveOnExit&) = delete;

private:
    std::string m_path;
};

}  // namespace

CMyUpdateManager::CMyUpdateManager(UpdateOwner& owner, std::string applicationTitle)
    : m_owner(owner),
      m_strCheckingText(platform::Utf8ToAnsi("正在检查文件…")),
      m_session(std::move(applicationTitle)),
      m_buffer(kReadSize) {}

CMyUpdateManager::~CMyUpdateManager() {
    m_bStopping = true;
    m_hWorkEvent.Set();
    // A pass waiting for its file is let go even when no download thread will set the event.
    while (m_bCheckRunning) {
        m_owner.DownloadEvent().Set();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    JoinCheckThread();
    StopDownloadThread();
}

void CMyUpdateManager::StartDownloadThread() {
    if (m_downloadThread.joinable())
        return;
    {
        std::lock_guard lock(m_lock);
        m_downloadQueue.clear();
    }
    m_hWorkEvent.Reset();
    m_downloadThread = std::thread(&CMyUpdateManager::DownloadThread, this);
}

void CMyUpdateManager::StopDownloadThread() {
    // Also ends a thread whose owner still runs, which would otherwise wait for work for ever; a
    // transfer under way fails at once rather than holding up the window's end.
    m_bStopping = true;
    m_session.Cancel();
    m_hWorkEvent.Set();
    if (m_downloadThread.joinable())
        m_downloadThread.join();
}

void CMyUpdateManager::JoinCheckThread() {
    if (m_checkThread.joinable())
        m_checkThread.join();
}

bool CMyUpdateManager::Running() const {
    return !m_bStopping && m_owner.IsRunning();
}

std::string CMyUpdateManager::LocalPath(const std::string& fileName) const {
    return platform::JoinNativePath(m_owner.GameDir(), ToUtf8(fileName));
}

void CMyUpdateManager::Post(unsigned id, std::intptr_t wParam, std::string text) {
    m_owner.Target().Post(platform::PostedMessage{id, wParam, 0, std::move(text)});
}

void CMyUpdateManager::PostTotal(std::intptr_t done, std::intptr_t range) {
    m_owner.Target().Post(platform::PostedMessage{platform::WM_TOTAL_PROGRESS, done, range, {}});
}

// ---- Checksum lists and the check pass ----

void CMyUpdateManager::LoadExcludeList() {
    std::ifstream in(platform::JoinNativePath(m_owner.ModuleDir(), "NotUpdateList.txt"),
                     std::ios::binary);
    std::string line;
    std::lock_guard lock(m_excludeLock);
    while (in && ReadLine(in, line)) {
        if (!line.empty())
            m_excludeList.push_back(line);
    }
}

void CMyUpdateManager::ClearExcludeList() {
    std::lock_guard lock(m_excludeLock);
    m_excludeList.clear();
}

int CMyUpdateManager::IsExcluded(std::string name) const {
    std::lock_guard lock(m_excludeLock);
    return std::find(m_excludeList.begin(), m_excludeList.end(), name) != m_excludeList.end();
}

int CMyUpdateManager::ParseChecksumLine(std::string line, _filelist& entry) {
    if (line.empty())
        return 0;
    // The tokenizer's rule: delimiters at the current position are skipped, so a run of them
    // counts as one and a missing field reads as empty.
    std::size_t position = 0;
    const auto next = [&line, &position]() -> std::string {
        position = std::min(line.find_first_not_of('|', position), line.size());
        const std::size_t end = std::min(line.find('|', position), line.size());
        std::string token = line.substr(position, end - position);
        position = end;
        return token;
    };
    entry.fileName = next();
    entry.extra = next();
    entry.md5 = next();
    entry.modifiedTime = ReadListTime(next());
    entry.fileSize = std::strtoll(next().c_str(), nullptr, 10);
    return 1;
}

int CMyUpdateManager::IsFileCurrent(_filelist entry) {
    if (!IsSafeListPath(entry.fileName))
        return 0;
    // Non-blocking, so that a pipe standing where a file should be cannot hang the pass.
    const ScopedFd file(
        ::open(LocalPath(entry.fileName).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::int64_t>(info.st_size) != entry.fileSize)
        return 0;
    try {
        m_strDigest = m_md5.GetFileMD5(file.get());
    } catch (const std::system_error&) {
        return 0;  // unreadable now: fetch it again
    }
    return m_strDigest == entry.md5 ? 1 : 0;
}

void CMyUpdateManager::LoadChecksumList(const std::string& path) {
    int idle = 0;
    if (!m_bBusy.compare_exchange_strong(idle, 1))
        return;
    m_bPostProgress = 1;
    JoinCheckThread();  // the last pass has done its work; its thread may still be ending
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ShowText("ChecksumOpenError_Client", 'E');
        m_bBusy = 0;
        return;
    }
    _filelist entry;
    std::string line;
    while (ReadLine(in, line)) {
        if (ParseChecksumLine(line, entry))
            m_fileList.push_back(entry);
    }
    m_bCheckRunning = true;
    try {
        m_checkThread = std::thread(&CMyUpdateManager::CheckThread, this);
    } catch (...) {
        m_fileList.clear();
        m_bCheckRunning = false;
        m_bBusy = 0;
        throw;
    }
}

void CMyUpdateManager::CheckThread() {
    bool completed = false;
    UpdateResult result;
    try {
        CPartFile::RemoveStale(m_owner.GameDir());
        // n + 1: a finished pass leaves the bar one step short of its end.
        const std::intptr_t range = static_cast<std::intptr_t>(m_fileList.size()) + 1;
        std::intptr_t steps = 0;
        PostTotal(steps, range);
        while (Running() && !m_fileList.empty()) {
            const _filelist entry = m_fileList.front();
            if (IsExcluded(entry.fileName)) {
                m_fileList.pop_front();
                continue;
            }
            if (m_owner.NoUpdate() || IsFileCurrent(entry)) {
                Post(platform::WM_UPDATE_STATUS, 0, m_strCheckingText);
            } else {
                QueueDownload(entry);
                m_hWorkEvent.Set();
                m_owner.WaitDownloadEvent();
                if (Running())
                    CountOutcome(entry, result);
            }
            PostTotal(++steps, range);
            m_fileList.pop_front();
        }
        completed = Running();
    } catch (...) {
        // Nothing to report to: the pass just ends, without WM_UPDATE_DONE.
    }
    m_fileList.clear();
    if (completed) {
        std::lock_guard lock(m_lock);
        m_result = result;
    }
    m_bBusy = 0;
    if (completed)
        Post(platform::WM_UPDATE_DONE, result.failedFiles);
    m_bCheckRunning = false;
}

void CMyUpdateManager::CountOutcome(const _filelist& entry, UpdateResult& result) {
    const FileOutcome outcome = TakeOutcome();
    if (!outcome.Failed())
        return;
    if (result.failedFiles++ == 0)
        result.firstFailed = entry.fileName;
    if (outcome.kind == FileOutcome::Kind::LocalFailed && !result.firstLocal.Failed())
        result.firstLocal = outcome;
}

UpdateResult CMyUpdateManager::LastResult() const {
    std::lock_guard lock(m_lock);
    return m_result;
}

FileOutcome CMyUpdateManager::FetchChecksumList(const std::string& checksumFile) {
    m_owner.DownloadEvent().Reset();
    _filelist entry;
    entry.fileName = checksumFile;
    Queue({entry, false});
    m_hWorkEvent.Set();
    m_owner.WaitDownloadEvent();
    m_bServerOk = 1;
    const RemoveOnExit list(LocalPath(checksumFile));
    const FileOutcome outcome = TakeOutcome();
    if (outcome.Failed() || !m_owner.IsRunning())
        return outcome;  // closing: no pass to start
    LoadChecksumList(LocalPath(checksumFile));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return outcome;
}

// ---- The download engine ----

void CMyUpdateManager::QueueDownload(const _filelist& entry) {
    Queue({entry, true});
}

void CMyUpdateManager::Queue(QueuedFile file) {
    std::lock_guard lock(m_lock);
    m_downloadQueue.push_back(std::move(file));
}

FileOutcome CMyUpdateManager::TakeOutcome() {
    std::lock_guard lock(m_lock);
    return std::exchange(m_lastOutcome, {});
}

std::string CMyUpdateManager::ToUtf8(const std::string& text) {
    // Seven-bit text reads the same in every ANSI code page and in UTF-8; most paths and every
    // address are such, and a conversion costs a converter of its own each time.
    if (std::all_of(text.begin(), text.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return text;
    std::string utf8 = platform::AnsiToUtf8(text);
    return utf8.empty() ? text : utf8;
}

void CMyUpdateManager::DownloadThread() {
    while (Running()) {
        QueuedFile file;
        if (!TakeQueued(file))
            continue;
        FileOutcome outcome;
        try {
            outcome = FetchEntry(file);
        } catch (const std::exception& error) {
            // The part file has gone with the stack; the old file stands.
            outcome = LocalFailure(LocalPath(file.entry.fileName), error.what());
        }
        CloseRemoteFile();
        CloseConnection();
        if (outcome.kind == FileOutcome::Kind::ServerFailed)
            m_bServerOk = 0;
        {
            std::lock_guard lock(m_lock);
            m_lastOutcome = std::move(outcome);
        }
        m_owner.DownloadEvent().Set();
    }
}

bool CMyUpdateManager::TakeQueued(QueuedFile& file) {
    const auto empty = [this] {
        std::lock_guard lock(m_lock);
        return m_downloadQueue.empty();
    };
    if (empty()) {
        m_hWorkEvent.Wait();
        if (!Running())
            return false;
        m_hWorkEvent.Reset();
    }
    // A caller queues, then sets the event, so a set may stand for an entry taken already. Rather
    // than sleep 1 ms at a time, which costs most files a millisecond once the two sides are in
    // step, wait at most that long for the next set: the one after the next entry comes at once,
    // and one from before the reset left its entry in the queue for the next look.
    while (empty()) {
        if (!Running())
            return false;
        if (m_hWorkEvent.WaitFor(std::chrono::milliseconds(1)))
            m_hWorkEvent.Reset();
    }
    std::lock_guard lock(m_lock);
    file = std::move(m_downloadQueue.front());
    m_downloadQueue.pop_front();
    return true;
}

FileOutcome CMyUpdateManager::FetchEntry(const QueuedFile& file) {
    const std::string& name = file.entry.fileName;
    if (!IsSafeListPath(name))
        return ServerFailure(name, "the list names a file outside the game folder");
    if (OpenRemoteFile(MakeUrl(m_owner.UpdateUrl(), name)) != 1) {
        const int status = m_session.Status();
        return ServerFailure(LocalPath(name), status != 0 ? "HTTP status " + std::to_string(status)
                                                          : m_session.LastError());
    }
    return DownloadToFile(LocalPath(name), file);
}

int CMyUpdateManager::OpenRemoteFile(const std::string& url) {
    if (RequestFile(url) == kRequestSent)
        return 1;
    CloseConnection();
    return 0;
}

int CMyUpdateManager::RequestFile(const std::string& url) {
    if (url.empty())
        return kRequestFailed;
    CloseRemoteFile();
    m_bRequestOpen = m_session.Get(url);
    if (!m_bRequestOpen) {
        CloseConnection();
        CloseRemoteFile();
        return kRequestFailed;
    }
    if (m_session.Status() == 200)
        return kRequestSent;
    CloseConnection();
    CloseRemoteFile();
    return kRequestRefused;
}

// A listed file must arrive with exactly its listed size and digest, whatever the server
// announces; the checksum list itself with exactly the announced length, where there is one.
FileOutcome CMyUpdateManager::DownloadToFile(const std::string& localPath, const QueuedFile& file) {
    if (!m_bRequestOpen)
        return ServerFailure(localPath, "no reply");
    m_nLastRead = 0;
    std::error_code folderError;
    std::filesystem::create_directories(std::filesystem::path(localPath).parent_path(),
                                        folderError);
    if (m_bPostProgress)
        Post(platform::WM_DOWN_FILE, 0, localPath);
    CPartFile part(localPath);
    if (!part.IsOpen())
        return LocalFailure(localPath, folderError ? folderError.message() : part.Error());

    const std::optional<std::uint64_t> announced = m_session.ContentLength();
    if (announced)
        m_nContentLength = static_cast<std::uint32_t>(*announced);
    if (m_bPostProgress)
        Post(platform::WM_DOWN_RANGE, m_nContentLength);
    std::optional<std::uint64_t> expected = announced;
    if (file.listed) {
        expected = static_cast<std::uint64_t>(std::max<std::int64_t>(file.entry.fileSize, 0));
        if (announced && *announced != *expected)
            return ServerFailure(localPath, "the server announced " + std::to_string(*announced) +
                                                " bytes, the list " + std::to_string(*expected));
    }

    CMd5Context digest;
    std::uint64_t total = 0;
    for (;;) {
        const long count = m_session.Read(m_buffer.data(), m_buffer.size());
        if (count < 0)
            return ServerFailure(localPath, m_session.LastError());
        m_nLastRead = static_cast<std::uint32_t>(count);
        if (count == 0)
            break;
        total += static_cast<std::uint64_t>(count);
        // A hostile server cannot fill the disk: no more than expected.
        if (expected && total > *expected)
            return ServerFailure(localPath, "longer than " + std::to_string(*expected) + " bytes");
        if (!part.Write(m_buffer.data(), static_cast<std::size_t>(count)))
            return LocalFailure(localPath, part.Error());
        if (file.listed)
            digest.Update(m_buffer.data(), static_cast<std::size_t>(count));
        if (m_bPostProgress)
            Post(platform::WM_DOWN_PROGRESS, count);
    }
    if (expected && total != *expected)
        return ServerFailure(localPath, "received " + std::to_string(total) + " of " +
                                            std::to_string(*expected) + " bytes");
    if (file.listed && !SameDigest(file.entry.md5, digest.Finish()))
        return ServerFailure(localPath, "the received bytes do not have the listed digest");
    if (!part.Commit(file.entry.modifiedTime))
        return LocalFailure(localPath, part.Error());
    return {FileOutcome::Kind::Fetched, localPath, {}};
}

void CMyUpdateManager::CloseRemoteFile() {
    if (m_bRequestOpen)
        m_session.Close();
    m_bRequestOpen = false;
}

void CMyUpdateManager::CloseConnection() {
    // The kept-alive connection belongs to m_session for the next file; the client itself drops
    // one whose reply was cut short. All that is left to close here is a reply still open.
    CloseRemoteFile();
}
