#include "patch/file_finisher.h"

#include <utility>

namespace patch {

CFileFinisher::CFileFinisher(std::size_t maxWaiting, const std::atomic<bool>& stop)
    : m_maxWaiting(maxWaiting), m_stop(stop), m_thread(&CFileFinisher::Run, this) {}

CFileFinisher::~CFileFinisher() {
    {
        std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void CFileFinisher::Submit(CFileFetcher::Request request, std::vector<char> body,
                           CFileFetcher::Report& report) {
    std::unique_lock lock(m_mutex);
    // One file always goes in, however large: the connection never waits for nothing.
    m_changed.wait(lock,
                   [&] { return m_unfinished == 0 || m_waiting + body.size() <= m_maxWaiting; });
    m_waiting += body.size();
    ++m_unfinished;
    m_jobs.push_back({std::move(request), std::move(body), &report});
    lock.unlock();
    m_changed.notify_all();
}

void CFileFinisher::Drain() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_unfinished == 0; });
}

void CFileFinisher::Run() {
    for (;;) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_ending || !m_jobs.empty(); });
        if (m_jobs.empty())
            return;
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        lock.unlock();
        FileOutcome outcome;
        if (m_stop) {
            outcome = {FileOutcome::Kind::Cancelled, job.request.localPath, "cancelled"};
        } else {
            try {
                outcome = CFileFetcher::FinishWhole(job.request, job.body);
            } catch (const std::exception& error) {
                outcome = {FileOutcome::Kind::LocalFailed, job.request.localPath, error.what()};
            }
        }
        lock.lock();
        job.report->outcome = std::move(outcome);
        m_waiting -= job.body.size();
        --m_unfinished;
        lock.unlock();
        m_changed.notify_all();
    }
}

}  // namespace patch
