#pragma once
// The patcher's engine. One thread of its own (the download thread) takes work from the engine's
// queue: a single file (the checksum list), or a check pass over a whole list, which verifies the
// listed files on a small pool of threads, checks the free space, removes part files no listed
// download owns and fetches what differs, in list order over one kept-alive connection (or over
// several, each on a thread of its own). Everything the owner learns comes as posted messages and
// as values; no engine thread ever waits for the owner.
//
// Construction, Start, Stop and the list loading belong to the owner's thread; the accessors and
// LastResult to any thread.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "patch/file_fetcher.h"
#include "patch/file_verifier.h"
#include "patch/filelist.h"
#include "patch/update_owner.h"
#include "patch/update_result.h"

namespace patch {

class CFileFinisher;
class CPassProgress;

class CMyUpdateManager final {
public:
    struct Settings {
        int connections = 1;         // to the update server, each on a thread of its own
        unsigned verifyThreads = 0;  // 0: as many as the machine runs at once, at most 8
        CFileFetcher::Retries retries;
    };
    enum class PassMode {
        Repair,  // fetch what differs
        Verify,  // only find what differs (UpdateResult::differing)
    };

    // `applicationTitle` goes out as the user agent of every request.
    CMyUpdateManager(UpdateOwner& owner, std::string applicationTitle);
    CMyUpdateManager(UpdateOwner& owner, std::string applicationTitle, Settings settings);
    // Stops as Stop does.
    ~CMyUpdateManager();
    CMyUpdateManager(const CMyUpdateManager&) = delete;
    CMyUpdateManager& operator=(const CMyUpdateManager&) = delete;
    CMyUpdateManager(CMyUpdateManager&&) = delete;
    CMyUpdateManager& operator=(CMyUpdateManager&&) = delete;

    // Starts the engine's thread; once only.
    void StartDownloadThread();
    // Sets the stop flag, wakes the engine, cuts the transfers under way and joins every engine
    // thread. A pass stopped so posts nothing; files waiting in the queue end Cancelled. Not from
    // an engine thread (such as inside a Post).
    void Stop();

    // The exclusion list (NotUpdateList.txt beside the launcher).
    void LoadExcludeList();
    // The owner calls this on a finished update: the list counts for the first update only.
    void ClearExcludeList();
    int IsExcluded(std::string name) const;
    // Compares one entry with the game folder on the calling thread: 1 when current.
    int IsFileCurrent(_filelist entry) const;

    // The update half of the Start button: queues the fetch of `checksumFile` into the game folder
    // and the check pass over it, which ends with WM_UPDATE_DONE. A list that cannot be fetched or
    // read ends it with WM_LIST_FAILED instead (ListFailure says how the fetch ended). ServerOk()
    // is true once the list's fetch has ended; the list file is gone on every path. False, doing
    // nothing, while a pass is queued or runs.
    bool StartListPass(const std::string& checksumFile);
    // How the last list's fetch ended; the owner reads it on WM_LIST_FAILED.
    FileOutcome ListFailure() const;
    // Reads the list at the native `path` and queues a pass over it; a message box says when it
    // cannot be read. False, doing nothing, while a pass is queued or runs.
    bool LoadChecksumList(const std::string& path, PassMode mode = PassMode::Repair);
    // Queues a pass over `entries`; false while one is queued or runs.
    bool StartPass(std::vector<_filelist> entries, PassMode mode = PassMode::Repair);
    // Of the last pass that ran to its end; the owner reads it on WM_UPDATE_DONE.
    UpdateResult LastResult() const;

    // Queues one file outside any pass: a listed one with its size and digest, installed only
    // with exactly those. The future holds how it ended.
    std::future<FileOutcome> QueueDownload(const _filelist& entry);
    // Queues the checksum list `checksumFile` to be fetched into the native `path` rather than
    // into the game folder, starting no pass: for an owner that reads the list itself. The
    // future holds how it ended.
    std::future<FileOutcome> QueueListDownload(const std::string& checksumFile,
                                               const std::string& path);

    // A pass is queued or runs.
    bool IsBusy() const { return m_bBusy; }
    // WM_DOWN_FILE, WM_DOWN_RANGE and WM_DOWN_PROGRESS are posted while set.
    void SetPostProgress(bool post) { m_bPostProgress = post; }
    bool PostsProgress() const { return m_bPostProgress; }
    // False after any file the server did not deliver as listed, until ResetServerOk.
    bool ServerOk() const { return m_bServerOk; }
    void ResetServerOk() { m_bServerOk = true; }

    // ANSI code page to UTF-8; the text unchanged when nothing comes out.
    static std::string ToUtf8(const std::string& text);

private:
    // One piece of work for the engine's thread.
    struct Job {
        std::vector<_filelist> entries;  // a pass over these, or one file
        bool pass = false;
        bool listPass = false;  // fetch the list entries.front() names, then a pass over it
        bool listed = true;     // one file: false for the checksum list itself
        std::string localPath;  // one file: where it goes when not into the game folder
        PassMode mode = PassMode::Repair;
        std::promise<FileOutcome> done;  // one file
    };

    bool Queue(Job job);
    // Queues a pass (or a list and its pass) when none is queued or runs; false otherwise.
    bool QueuePass(Job job);
    std::future<FileOutcome> QueueFile(Job job);
    void DownloadThread();
    void RunFile(Job& job);
    FileOutcome FetchOne(const Job& job);
    void RunListPass(Job& job);
    bool Pause(std::chrono::milliseconds delay);
    CFileFetcher::Hooks MakeHooks(CPassProgress* pass, CFileFinisher* finisher);
    CFileFetcher::Request MakeRequest(const _filelist& entry, bool listed,
                                      const std::string& gameDir, const std::string& url) const;

    // The check pass.
    void CheckThread(std::vector<_filelist> entries, PassMode mode);
    UpdateResult RunPass(std::vector<_filelist>& entries, PassMode mode, CPassProgress& progress);
    std::vector<_filelist> WithoutExcluded(std::vector<_filelist> entries) const;
    // Answers the part files that stay, for the fetches to go on from.
    std::unordered_set<std::string> RemoveUnownedPartFiles(const std::string& gameDir,
                                                           const std::vector<_filelist>& fetch);
    bool HasSpace(const std::string& gameDir, const std::vector<_filelist>& fetch,
                  UpdateResult& result) const;
    void FetchAll(const std::string& gameDir, const std::string& url,
                  const std::vector<_filelist>& fetch, const std::unordered_set<std::string>& parts,
                  CPassProgress& progress, UpdateResult& result);
    void Count(const _filelist& entry, const CFileFetcher::Report& report, UpdateResult& result);
    void Post(unsigned id, std::intptr_t wParam, std::string text = {});

    UpdateOwner& m_owner;
    const Settings m_settings;
    const std::string m_strCheckingText;  // "正在检查文件…" in the ANSI code page
    CFileVerifier m_verifier;
    // One per connection; the first also fetches single files. Each keeps its connection alive.
    std::vector<std::unique_ptr<CFileFetcher>> m_fetchers;

    mutable std::mutex m_excludeLock;
    std::vector<std::string> m_excludeList;

    mutable std::mutex m_lock;  // guards the queue, the stop flag's waiters and m_result
    std::condition_variable m_wake;
    std::deque<Job> m_queue;
    UpdateResult m_result;  // of the last pass that ran to its end
    std::atomic<bool> m_bStopping{false};

    std::atomic<bool> m_bBusy{false};
    std::atomic<bool> m_bPostProgress{false};
    std::atomic<bool> m_bServerOk{true};
    FileOutcome m_listFailure;  // under m_lock
    std::thread m_downloadThread;
};

}  // namespace patch
