#pragma once
// One connection to the update server and the files fetched over it. A listed file goes into its
// part file, goes on from where an earlier attempt ended when the server honours a range, is
// tried again after a cut, and replaces the old file only with exactly its listed size and
// digest, resumed bytes included. One thread at a time; Cancel from any thread.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "patch/filelist.h"
#include "patch/md5_context.h"
#include "patch/update_result.h"
#include "platform/http_client.h"
#include "platform/message_target.h"
#include "platform/part_file.h"

namespace patch {

class CFileFinisher;
class CPassProgress;

class CFileFetcher final {
public:
    struct Request {
        _filelist entry;
        bool listed = true;  // false for the checksum list itself: no size, digest or resume
        std::string url;
        std::string localPath;    // native
        bool mayHavePart = true;  // false when the caller knows there is no part file to go on from
    };
    // How a fetch reports and waits; all optional.
    struct Hooks {
        platform::MessageTarget* files = nullptr;  // WM_DOWN_FILE, WM_DOWN_RANGE, WM_DOWN_PROGRESS
        CPassProgress* pass = nullptr;             // the overall bar
        // Waits before the next try; false when the engine stops meanwhile.
        std::function<bool(std::chrono::milliseconds)> pause;
        // Where a small file that arrived whole is finished while the connection goes on; its
        // outcome then reaches the report later, by the finisher's Drain.
        CFileFinisher* finisher = nullptr;
    };
    struct Report {
        FileOutcome outcome;
        std::uint64_t received = 0;  // body bytes that came in
        std::uint64_t resumed = 0;   // bytes of an earlier attempt that were not fetched again
        std::uint64_t credited = 0;  // of the file's bytes, shown on the overall bar
        int requests = 0;
    };
    // A checksum list longer than this is refused as it arrives: no list of a real game comes
    // near it, and a hostile server must not fill the disk with one.
    static constexpr std::uint64_t kMostListBytes = std::uint64_t{64} << 20;
    struct Retries {
        int count = 2;                         // further tries after a cut transfer
        std::chrono::milliseconds delay{250};  // before the first; doubled for each next one
    };

    // `userAgent` goes out with every request.
    CFileFetcher(std::string userAgent, Retries retries);

    // Fetches one file into `report` (fresh); ends early, Cancelled, once `stop` holds. With a
    // finisher in `hooks`, the outcome may come only with the finisher's Drain.
    void Fetch(const Request& request, const Hooks& hooks, const std::atomic<bool>& stop,
               Report& report);
    // Any thread: the transfer in progress, and every later one, fails at once.
    void Cancel() { m_session.Cancel(); }

    // Puts a listed file whose whole body is `body` in place, when it has the listed digest.
    static FileOutcome FinishWhole(const Request& request, const std::vector<char>& body);

private:
    // A file's bytes so far, kept from one try to the next.
    struct Progress {
        platform::PartFile part;
        std::optional<CMd5Context> digest;
        std::uint64_t have = 0;     // bytes in the part file
        std::uint64_t resumed = 0;  // of them, found there before this fetch
    };
    struct Attempt {
        FileOutcome outcome;
        bool again = false;     // a cut or a refused range: worth another try
        bool deferred = false;  // handed to the finisher, which gives the outcome
    };

    void Transfer(const Request& request, Progress& progress, const Hooks& hooks,
                  const std::atomic<bool>& stop, Report& report);
    Attempt TryOnce(const Request& request, Progress& progress, const Hooks& hooks,
                    const std::atomic<bool>& stop, Report& report);
    bool TakeExistingPart(const Request& request, Progress& progress,
                          const std::atomic<bool>& stop);
    std::optional<FileOutcome> OpenPart(const Request& request, Progress& progress);
    void StartOver(Progress& progress);
    // The whole body of a small fresh file into memory, for the finisher.
    Attempt ReceiveWhole(const Request& request, Progress& progress, const Hooks& hooks,
                         const std::atomic<bool>& stop, Report& report);
    // `resumed`: the reply goes on from bytes of an earlier attempt.
    Attempt Receive(const Request& request, Progress& progress, bool resumed, const Hooks& hooks,
                    const std::atomic<bool>& stop, Report& report);
    FileOutcome Finish(const Request& request, Progress& progress);
    // `have`: the bytes of the file that arrived so far.
    void Credit(const Request& request, std::uint64_t have, const Hooks& hooks, Report& report);

    platform::HttpClient m_session;
    Retries m_retries;
    std::vector<char> m_buffer;          // one read of a reply body
    std::uint32_t m_nContentLength = 0;  // announced by the last reply that carried one
    std::uint32_t m_nLastRead = 0;
};

}  // namespace patch
