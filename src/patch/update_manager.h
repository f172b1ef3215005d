#pragma once
// The patcher's worker: loads a checksum list, runs the check pass that compares every listed
// file with the game folder (its own thread), and the download thread that fetches one queued file
// at a time from the update server into the game folder. Construction, the thread control and the
// list loading belong to the owner's GUI thread; QueueDownload and the flags are for any thread.

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "patch/filelist.h"
#include "patch/md5.h"
#include "patch/update_owner.h"
#include "patch/update_result.h"
#include "platform/http_client.h"
#include "platform/manual_reset_event.h"

class CMyUpdateManager final {
public:
    // `applicationTitle` goes out as the user agent of every request.
    CMyUpdateManager(UpdateOwner& owner, std::string applicationTitle);
    // Stops and joins both threads even if the owner still runs.
    virtual ~CMyUpdateManager();
    CMyUpdateManager(const CMyUpdateManager&) = delete;
    CMyUpdateManager& operator=(const CMyUpdateManager&) = delete;
    CMyUpdateManager(CMyUpdateManager&&) = delete;
    CMyUpdateManager& operator=(CMyUpdateManager&&) = delete;

    // Thread control. On close the owner clears its running flag, then calls JoinCheckThread and
    // StopDownloadThread, in this order; neither waits for the window.
    void StartDownloadThread();
    void StopDownloadThread();  // cancels a transfer under way, sets the work event and joins
    void JoinCheckThread();
    // True from LoadChecksumList until the check thread's last step.
    bool IsCheckThreadRunning() const { return m_bCheckRunning; }
    // "DownloadThread": set it after QueueDownload to wake the download thread.
    platform::ManualResetEvent& WorkEvent() { return m_hWorkEvent; }

    // Checksum lists and the check pass.
    void LoadExcludeList();
    // The owner calls this on WM_UPDATE_DONE: NotUpdateList.txt counts for the first update only.
    void ClearExcludeList();
    // Reads the list at the native `path` and starts the check pass; does nothing while one runs.
    void LoadChecksumList(const std::string& path);
    // Fills `entry` from one list line: 1, or 0 for an empty line (the entry then untouched).
    static int ParseChecksumLine(std::string line, _filelist& entry);
    int IsExcluded(std::string name) const;
    int IsFileCurrent(_filelist entry);

    // The update half of the Start button: fetches `checksumFile` into the game folder, waits for
    // it and starts the check pass from it (not once the owner has stopped running). Answers how
    // the list's fetch ended; m_bServerOk is 1 afterwards. The list file is gone on every path.
    FileOutcome FetchChecksumList(const std::string& checksumFile);
    // The failures of the last check pass that ran to its end; the owner reads it on
    // WM_UPDATE_DONE.
    UpdateResult LastResult() const;

    // The download engine. A queued list entry is installed only with exactly its listed size
    // and digest; TakeOutcome answers how the last queued file ended.
    void QueueDownload(const _filelist& entry);
    FileOutcome TakeOutcome();
    // ANSI code page to UTF-8; the text unchanged when nothing comes out.
    static std::string ToUtf8(const std::string& text);

    // 0 after any file the server did not deliver as listed; the owner sets it back to 1.
    std::atomic<int> m_bServerOk{1};
    // Post WM_DOWN_FILE, WM_DOWN_RANGE and WM_DOWN_PROGRESS while set.
    std::atomic<int> m_bPostProgress{0};
    // A check pass is loading or running.
    std::atomic<int> m_bBusy{0};

private:
    bool Running() const;
    std::string LocalPath(const std::string& fileName) const;
    void Post(unsigned id, std::intptr_t wParam, std::string text = {});
    void PostTotal(std::intptr_t done, std::intptr_t range);

    void CheckThread();

    // A file for the download thread; the checksum list itself comes without size or digest.
    struct QueuedFile {
        _filelist entry;
        bool listed = true;
    };
    void Queue(QueuedFile file);
    void CountOutcome(const _filelist& entry, UpdateResult& result);

    void DownloadThread();
    bool TakeQueued(QueuedFile& file);
    FileOutcome FetchEntry(const QueuedFile& file);
    int OpenRemoteFile(const std::string& url);
    int RequestFile(const std::string& url);
    FileOutcome DownloadToFile(const std::string& localPath, const QueuedFile& file);
    void CloseRemoteFile();
    void CloseConnection();

    UpdateOwner& m_owner;
    CMD5 m_md5;
    std::string m_strDigest;        // of the file last compared; check thread
    std::string m_strCheckingText;  // "正在检查文件…" in the ANSI code page
    platform::HttpClient m_session;
    bool m_bRequestOpen = false;  // a reply is open in m_session; download thread

    mutable std::mutex m_excludeLock;
    std::vector<std::string> m_excludeList;
    std::deque<_filelist> m_fileList;  // filled before the check thread starts, then its own

    mutable std::mutex m_lock;
    std::deque<QueuedFile> m_downloadQueue;
    FileOutcome m_lastOutcome;   // of the file the download thread finished last
    UpdateResult m_result;       // of the last pass that ran to its end
    std::vector<char> m_buffer;  // one read of the reply body
    std::uint32_t m_nContentLength = 0;
    std::uint32_t m_nLastRead = 0;

    platform::ManualResetEvent m_hWorkEvent;
    std::atomic<bool> m_bStopping{false};
    std::atomic<bool> m_bCheckRunning{false};
    std::thread m_checkThread;
    std::thread m_downloadThread;
};
