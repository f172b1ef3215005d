#include "patch/update_manager.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <optional>
#include <unordered_set>
#include <utility>

#include "config/text_table.h"
#include "patch/checksum_list.h"
#include "patch/file_finisher.h"
#include "patch/pass_progress.h"
#include "patch/resume_part.h"
#include "platform/codepage.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/window_messages.h"

namespace patch {

namespace {

constexpr int kMostConnections = 16;
// Bytes of small files that may wait for their finisher, per connection.
constexpr std::size_t kFinisherBytes = 1 << 20;

// A line of NotUpdateList.txt, text mode: the CR of a CRLF ending does not belong to it.
bool ReadLine(std::istream& in, std::string& line) {
    if (!std::getline(in, line))
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
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
        url = url.substr(0, path) + ListNameToUtf8(url.substr(path));
    std::string name = EscapeUrlSyntax(ListNameToUtf8(fileName));
    std::replace(name.begin(), name.end(), '\\', '/');
    return url + name;
}

std::uint64_t RoundUp(std::uint64_t bytes, std::uint64_t block) {
    return block == 0 ? bytes : (bytes + block - 1) / block * block;
}

// What names an entry's part file: its path, digest in any case and size.
std::string PartKey(const _filelist& entry) {
    std::string key = entry.fileName + "|" + entry.md5 + "|" + std::to_string(entry.fileSize);
    std::transform(key.begin() + static_cast<std::ptrdiff_t>(entry.fileName.size()), key.end(),
                   key.begin() + static_cast<std::ptrdiff_t>(entry.fileName.size()), [](char c) {
                       return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                   });
    return key;
}

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

}  // namespace

CMyUpdateManager::CMyUpdateManager(UpdateOwner& owner, std::string applicationTitle)
    : CMyUpdateManager(owner, std::move(applicationTitle), Settings{}) {}

CMyUpdateManager::CMyUpdateManager(UpdateOwner& owner, std::string applicationTitle,
                                   Settings settings)
    : m_owner(owner),
      m_settings(settings),
      m_strCheckingText(platform::Utf8ToAnsi("正在检查文件…")),
      m_verifier(settings.verifyThreads) {
    const int connections = std::clamp(settings.connections, 1, kMostConnections);
    for (int i = 0; i < connections; ++i)
        m_fetchers.push_back(std::make_unique<CFileFetcher>(applicationTitle, settings.retries));
}

CMyUpdateManager::~CMyUpdateManager() {
    Stop();
}

void CMyUpdateManager::StartDownloadThread() {
    if (m_downloadThread.joinable() || m_bStopping)
        return;
    m_downloadThread = std::thread(&CMyUpdateManager::DownloadThread, this);
}

void CMyUpdateManager::Stop() {
    {
        std::lock_guard lock(m_lock);
        m_bStopping = true;
    }
    m_wake.notify_all();
    for (const auto& fetcher : m_fetchers)
        fetcher->Cancel();
    if (m_downloadThread.joinable())
        m_downloadThread.join();
    std::deque<Job> left;
    {
        std::lock_guard lock(m_lock);
        left.swap(m_queue);
    }
    for (Job& job : left) {
        if (!job.pass)
            job.done.set_value({FileOutcome::Kind::Cancelled, {}, "cancelled"});
    }
    m_bBusy = false;
}

bool CMyUpdateManager::Queue(Job job) {
    {
        std::lock_guard lock(m_lock);
        if (m_bStopping || !m_downloadThread.joinable())
            return false;
        m_queue.push_back(std::move(job));
    }
    m_wake.notify_all();
    return true;
}

void CMyUpdateManager::DownloadThread() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_lock);
            m_wake.wait(lock, [this] { return m_bStopping || !m_queue.empty(); });
            if (m_bStopping)
                return;
            job = std::move(m_queue.front());
            m_queue.pop_front();
        }
        if (job.pass)
            CheckThread(std::move(job.entries), job.mode);
        else if (job.listPass)
            RunListPass(job);
        else
            RunFile(job);
    }
}

bool CMyUpdateManager::Pause(std::chrono::milliseconds delay) {
    std::unique_lock lock(m_lock);
    return !m_wake.wait_for(lock, delay, [this] { return m_bStopping.load(); });
}

CFileFetcher::Hooks CMyUpdateManager::MakeHooks(CPassProgress* pass, CFileFinisher* finisher) {
    return {m_bPostProgress ? &m_owner.Target() : nullptr, pass,
            [this](std::chrono::milliseconds delay) { return Pause(delay); }, finisher};
}

CFileFetcher::Request CMyUpdateManager::MakeRequest(const _filelist& entry, bool listed,
                                                    const std::string& gameDir,
                                                    const std::string& url) const {
    return {entry, listed, MakeUrl(url, entry.fileName), LocalListPath(gameDir, entry.fileName)};
}

void CMyUpdateManager::Post(unsigned id, std::intptr_t wParam, std::string text) {
    m_owner.Target().Post(platform::PostedMessage{id, wParam, 0, std::move(text)});
}

std::string CMyUpdateManager::ToUtf8(const std::string& text) {
    return ListNameToUtf8(text);
}

// ---- Single files ----

std::future<FileOutcome> CMyUpdateManager::QueueDownload(const _filelist& entry) {
    Job job;
    job.entries = {entry};
    return QueueFile(std::move(job));
}

std::future<FileOutcome> CMyUpdateManager::QueueListDownload(const std::string& checksumFile,
                                                             const std::string& path) {
    Job job;
    job.entries.emplace_back().fileName = checksumFile;
    job.listed = false;
    job.localPath = path;
    return QueueFile(std::move(job));
}

std::future<FileOutcome> CMyUpdateManager::QueueFile(Job job) {
    std::future<FileOutcome> done = job.done.get_future();
    if (!Queue(std::move(job))) {
        std::promise<FileOutcome> refused;
        refused.set_value({FileOutcome::Kind::Cancelled, {}, "the engine does not run"});
        return refused.get_future();
    }
    return done;
}

void CMyUpdateManager::RunFile(Job& job) {
    job.done.set_value(FetchOne(job));
}

FileOutcome CMyUpdateManager::FetchOne(const Job& job) {
    const _filelist& entry = job.entries.front();
    CFileFetcher::Request request =
        MakeRequest(entry, job.listed, m_owner.GameDir(), m_owner.UpdateUrl());
    if (!job.localPath.empty())
        request.localPath = job.localPath;
    FileOutcome outcome;
    try {
        CFileFetcher::Report report;
        m_fetchers.front()->Fetch(request, MakeHooks(nullptr, nullptr), m_bStopping, report);
        outcome = std::move(report.outcome);
    } catch (const std::exception& error) {
        // The part file has gone with the stack; the old file stands.
        outcome = {FileOutcome::Kind::LocalFailed, request.localPath, error.what()};
    }
    if (outcome.kind == FileOutcome::Kind::ServerFailed)
        m_bServerOk = false;
    return outcome;
}

bool CMyUpdateManager::StartListPass(const std::string& checksumFile) {
    Job job;
    job.entries.emplace_back().fileName = checksumFile;
    job.listPass = true;
    job.listed = false;
    return QueuePass(std::move(job));
}

FileOutcome CMyUpdateManager::ListFailure() const {
    std::lock_guard lock(m_lock);
    return m_listFailure;
}

// On the engine's thread, so that a slow list never holds up the window.
void CMyUpdateManager::RunListPass(Job& job) {
    job.localPath = LocalListPath(m_owner.GameDir(), job.entries.front().fileName);
    const FileOutcome outcome = FetchOne(job);
    m_bServerOk = true;
    std::optional<std::vector<_filelist>> entries;
    {
        // Gone before the pass: the list is no game file, and a run cut mid-pass leaves none.
        const RemoveOnExit list(job.localPath);
        if (!outcome.Failed() && !m_bStopping) {
            try {
                entries = ReadChecksumList(job.localPath);
            } catch (const std::exception&) {
                // Too large to hold: as unreadable.
            }
        }
    }
    if (entries) {
        m_bPostProgress = true;
        CheckThread(std::move(*entries), PassMode::Repair);
        return;
    }
    {
        std::lock_guard lock(m_lock);
        m_listFailure = outcome;
    }
    m_bBusy = false;
    if (!m_bStopping)
        Post(platform::WM_LIST_FAILED, outcome.Failed() ? 0 : 1);
}

// ---- Checksum lists and the check pass ----

void CMyUpdateManager::LoadExcludeList() {
    std::ifstream in(
        platform::FsPath(platform::JoinNativePath(m_owner.ModuleDir(), "NotUpdateList.txt")),
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

int CMyUpdateManager::IsFileCurrent(_filelist entry) const {
    return CFileVerifier::Check(m_owner.GameDir(), entry) == CFileVerifier::Verdict::Current;
}

bool CMyUpdateManager::LoadChecksumList(const std::string& path, PassMode mode) {
    if (m_bBusy)
        return false;
    m_bPostProgress = true;
    std::optional<std::vector<_filelist>> entries = ReadChecksumList(path);
    if (!entries) {
        config::ShowText("ChecksumOpenError_Client", 'E');
        return false;
    }
    return StartPass(std::move(*entries), mode);
}

bool CMyUpdateManager::StartPass(std::vector<_filelist> entries, PassMode mode) {
    Job job;
    job.entries = std::move(entries);
    job.pass = true;
    job.mode = mode;
    return QueuePass(std::move(job));
}

bool CMyUpdateManager::QueuePass(Job job) {
    bool idle = false;
    if (!m_bBusy.compare_exchange_strong(idle, true))
        return false;
    if (!Queue(std::move(job))) {
        m_bBusy = false;
        return false;
    }
    return true;
}

UpdateResult CMyUpdateManager::LastResult() const {
    std::lock_guard lock(m_lock);
    return m_result;
}

// Ends with WM_UPDATE_DONE (wParam: the files still not as listed, or in a verifying pass the
// files that differ) unless the engine stopped. Busy is cleared first, so that the owner may
// start the next pass as soon as it hears of this one's end.
void CMyUpdateManager::CheckThread(std::vector<_filelist> entries, PassMode mode) {
    CPassProgress progress(m_owner.Target());
    UpdateResult result;
    try {
        result = RunPass(entries, mode, progress);
    } catch (...) {
        // The pass could not go on (out of memory, no thread): every file counts as failed.
        result = {};
        result.failedFiles = std::max<int>(1, static_cast<int>(entries.size()));
        result.firstFailed = entries.empty() ? std::string() : entries.front().fileName;
    }
    if (m_bStopping) {
        m_bBusy = false;
        return;
    }
    const int count =
        mode == PassMode::Verify ? static_cast<int>(result.differing.size()) : result.failedFiles;
    {
        std::lock_guard lock(m_lock);
        m_result = std::move(result);
    }
    m_bBusy = false;
    Post(platform::WM_UPDATE_DONE, count);
}

UpdateResult CMyUpdateManager::RunPass(std::vector<_filelist>& entries, PassMode mode,
                                       CPassProgress& progress) {
    using Verdict = CFileVerifier::Verdict;
    constexpr std::uint64_t kFileWork = CPassProgress::kFileWork;
    UpdateResult result;
    // The folder and the server of the pass's start, whatever the player picks meanwhile.
    const std::string gameDir = m_owner.GameDir(), url = m_owner.UpdateUrl();
    entries = WithoutExcluded(std::move(entries));
    if (m_owner.NoUpdate()) {
        progress.Begin(entries.size() * kFileWork);
        if (!entries.empty())
            Post(platform::WM_UPDATE_STATUS, 0, m_strCheckingText);
        progress.Finish();
        return result;
    }

    // Sizes first: what they settle needs no digest, and what must be fetched shows at once.
    std::vector<Verdict> verdicts = m_verifier.Survey(gameDir, entries);
    std::uint64_t total = 0, settled = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const bool digest = verdicts[i] == Verdict::ToDigest;
        total += kFileWork + (digest ? entries[i].Bytes() : kFileWork + entries[i].Bytes());
        settled += digest ? 0 : kFileWork;
    }
    progress.Begin(total);
    if (!entries.empty())
        Post(platform::WM_UPDATE_STATUS, 0, m_strCheckingText);
    progress.Advance(settled);
    const std::vector<Verdict> bySize = verdicts;
    m_verifier.Digest(
        gameDir, entries, verdicts,
        [&progress](std::uint64_t bytes, bool fileDone) {
            progress.Advance(bytes + (fileDone ? kFileWork : 0));
        },
        m_bStopping);
    if (m_bStopping)
        return result;

    std::vector<_filelist> fetch;
    // A line listed twice is fetched once: two connections would share its part file.
    std::unordered_set<std::string> queued;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        ++result.checkedFiles;
        if (verdicts[i] == Verdict::Current)
            continue;
        if (bySize[i] == Verdict::ToDigest)
            progress.AddTotal(kFileWork + entries[i].Bytes());
        result.differing.push_back(entries[i].fileName);
        if (queued.insert(PartKey(entries[i])).second)
            fetch.push_back(entries[i]);
        else
            progress.Advance(kFileWork + entries[i].Bytes());
    }
    if (mode == PassMode::Verify) {
        progress.Finish();
        return result;
    }
    const std::unordered_set<std::string> parts = RemoveUnownedPartFiles(gameDir, fetch);
    if (!HasSpace(gameDir, fetch, result)) {
        result.failedFiles = static_cast<int>(fetch.size());
        result.firstFailed = fetch.front().fileName;
        return result;
    }
    FetchAll(gameDir, url, fetch, parts, progress, result);
    if (!m_bStopping)
        progress.Finish();
    return result;
}

std::vector<_filelist> CMyUpdateManager::WithoutExcluded(std::vector<_filelist> entries) const {
    std::lock_guard lock(m_excludeLock);
    if (m_excludeList.empty())
        return entries;
    std::erase_if(entries, [this](const _filelist& entry) {
        return std::find(m_excludeList.begin(), m_excludeList.end(), entry.fileName) !=
               m_excludeList.end();
    });
    return entries;
}

// Part files are kept only for the files this pass will fetch; those of a list that changed a
// file, and those of the checksum list's downloads, go.
std::unordered_set<std::string> CMyUpdateManager::RemoveUnownedPartFiles(
    const std::string& gameDir, const std::vector<_filelist>& fetch) {
    std::unordered_set<std::string> owned;
    for (const _filelist& entry : fetch) {
        if (IsSafeListPath(entry.fileName))
            owned.insert(ResumePartPath(LocalListPath(gameDir, entry.fileName), entry));
    }
    return RemoveUnownedParts(gameDir, owned);
}

// A replaced file needs its whole new size while the old one is still there; what a part file
// holds already is on the disk.
bool CMyUpdateManager::HasSpace(const std::string& gameDir, const std::vector<_filelist>& fetch,
                                UpdateResult& result) const {
    const std::optional<platform::DiskSpace> space = platform::FreeSpace(gameDir);
    if (!space)
        return true;  // the system cannot tell: the files will say so themselves
    std::uint64_t needed = 0;
    for (const _filelist& entry : fetch) {
        if (!IsSafeListPath(entry.fileName))
            continue;
        const std::string part = ResumePartPath(LocalListPath(gameDir, entry.fileName), entry);
        const auto held = part.empty() ? std::nullopt : platform::PathInfo(part);
        const std::uint64_t have =
            held && held->regular && held->size <= entry.Bytes() ? held->size : 0;
        const std::uint64_t more =
            RoundUp(entry.Bytes(), space->blockSize) - RoundUp(have, space->blockSize);
        // Absurd listed sizes must not wrap the sum round to a small one.
        needed = more > UINT64_MAX - needed ? UINT64_MAX : needed + more;
    }
    if (needed <= space->available)
        return true;
    result.spaceNeeded = needed;
    result.spaceFree = space->available;
    return false;
}

// Each connection takes the next file in list order; with one, the requests go out in list
// order. The results are counted in list order.
void CMyUpdateManager::FetchAll(const std::string& gameDir, const std::string& url,
                                const std::vector<_filelist>& fetch,
                                const std::unordered_set<std::string>& parts,
                                CPassProgress& progress, UpdateResult& result) {
    std::vector<CFileFetcher::Report> reports(fetch.size());
    std::atomic<std::size_t> next{0};
    // Each connection has a finisher beside it that puts small files in place while the
    // connection carries the next request.
    const auto lane = [&](CFileFetcher& fetcher) noexcept {
        CFileFinisher finisher(kFinisherBytes, m_bStopping);
        for (std::size_t i = next++; i < fetch.size() && !m_bStopping; i = next++) {
            try {
                CFileFetcher::Request request = MakeRequest(fetch[i], true, gameDir, url);
                request.mayHavePart =
                    parts.contains(ResumePartPath(request.localPath, request.entry));
                fetcher.Fetch(request, MakeHooks(&progress, &finisher), m_bStopping, reports[i]);
            } catch (const std::exception& error) {
                // The part file stays for a later attempt; the old file stands.
                reports[i].outcome = {FileOutcome::Kind::LocalFailed,
                                      LocalListPath(gameDir, fetch[i].fileName), error.what()};
            }
        }
    };
    {
        const std::size_t lanes = std::min(m_fetchers.size(), fetch.size());
        std::vector<std::jthread> helpers;
        for (std::size_t k = 1; k < lanes; ++k)
            helpers.emplace_back(lane, std::ref(*m_fetchers[k]));
        if (lanes > 0)
            lane(*m_fetchers.front());
    }
    if (m_bStopping)
        return;
    for (std::size_t i = 0; i < fetch.size(); ++i)
        Count(fetch[i], reports[i], result);
}

void CMyUpdateManager::Count(const _filelist& entry, const CFileFetcher::Report& report,
                             UpdateResult& result) {
    result.fetchedBytes += report.received;
    result.resumedBytes += report.resumed;
    const FileOutcome& outcome = report.outcome;
    if (!outcome.Failed()) {
        ++result.fetchedFiles;
        return;
    }
    if (outcome.kind == FileOutcome::Kind::ServerFailed)
        m_bServerOk = false;
    if (result.failedFiles++ == 0) {
        result.firstFailed = entry.fileName;
        result.firstReason = outcome.reason;
    }
    if (outcome.kind == FileOutcome::Kind::LocalFailed && !result.firstLocal.Failed())
        result.firstLocal = outcome;
}

}  // namespace patch
