#pragma once
// Finishes downloads whose bodies arrived whole in memory: digests each, writes it into its part
// file and puts it in place, on a thread of its own, so that the connection carries the next
// request meanwhile. The bytes waiting are bounded. Submit and Drain from one thread (the
// connection's); the outcome of each file lands in the report given with it.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "patch/file_fetcher.h"

namespace patch {

class CFileFinisher final {
public:
    // Submit waits while more than `maxWaiting` bytes wait. Once `stop` holds, files not
    // finished end Cancelled.
    CFileFinisher(std::size_t maxWaiting, const std::atomic<bool>& stop);
    // Finishes what was submitted, then ends its thread.
    ~CFileFinisher();
    CFileFinisher(const CFileFinisher&) = delete;
    CFileFinisher& operator=(const CFileFinisher&) = delete;

    // `report` must live until Drain or destruction; only its outcome is written.
    void Submit(CFileFetcher::Request request, std::vector<char> body,
                CFileFetcher::Report& report);
    // Returns once every file submitted so far is finished.
    void Drain();

private:
    struct Job {
        CFileFetcher::Request request;
        std::vector<char> body;
        CFileFetcher::Report* report = nullptr;
    };

    void Run();

    const std::size_t m_maxWaiting;
    const std::atomic<bool>& m_stop;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_jobs;
    std::size_t m_waiting = 0;     // bytes of the files not finished yet
    std::size_t m_unfinished = 0;  // files submitted and not finished yet
    bool m_ending = false;
    std::thread m_thread;
};

}  // namespace patch
