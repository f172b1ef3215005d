#include "patch/file_verifier.h"

#include <algorithm>
#include <thread>

#include "patch/checksum_list.h"
#include "patch/md5_context.h"
#include "platform/file.h"
#include "platform/file_system.h"

namespace patch {

namespace {

constexpr std::size_t kReadSize = 0x50000;  // few read calls for large archives
constexpr unsigned kMostThreads = 8;

CFileVerifier::Verdict BySize(const std::string& gameDir, const _filelist& entry) {
    using Verdict = CFileVerifier::Verdict;
    if (!IsSafeListPath(entry.fileName))
        return Verdict::Unsafe;
    const auto info = platform::PathInfo(LocalListPath(gameDir, entry.fileName));
    if (!info || !info->regular || static_cast<std::int64_t>(info->size) != entry.fileSize)
        return Verdict::Differs;
    return Verdict::ToDigest;
}

}  // namespace

CFileVerifier::CFileVerifier(unsigned threads) : m_threads(threads) {
    if (m_threads == 0)
        m_threads = std::clamp(std::thread::hardware_concurrency(), 1u, kMostThreads);
}

std::vector<CFileVerifier::Verdict> CFileVerifier::Survey(
    const std::string& gameDir, const std::vector<_filelist>& entries) const {
    std::vector<Verdict> verdicts;
    verdicts.reserve(entries.size());
    for (const _filelist& entry : entries)
        verdicts.push_back(BySize(gameDir, entry));
    return verdicts;
}

void CFileVerifier::Digest(const std::string& gameDir, const std::vector<_filelist>& entries,
                           std::vector<Verdict>& verdicts, const Progress& progress,
                           const std::atomic<bool>& stop) const {
    std::vector<std::size_t> work;
    for (std::size_t i = 0; i < verdicts.size(); ++i) {
        if (verdicts[i] == Verdict::ToDigest)
            work.push_back(i);
    }
    // Each thread takes the next file in list order; every verdict has its own slot.
    std::atomic<std::size_t> next{0};
    // A thread that fails (out of memory) leaves its files undecided, for the caller to fetch.
    const auto run = [&]() noexcept {
        try {
            std::vector<char> buffer(kReadSize);
            for (std::size_t k = next++; k < work.size() && !stop; k = next++) {
                const _filelist& entry = entries[work[k]];
                verdicts[work[k]] = DigestFile(LocalListPath(gameDir, entry.fileName), entry,
                                               buffer, progress, stop);
            }
        } catch (...) {
        }
    };
    const std::size_t helpers = std::min<std::size_t>(m_threads, work.size());
    std::vector<std::jthread> pool;
    for (std::size_t i = 1; i < helpers; ++i)
        pool.emplace_back(run);
    run();
}

CFileVerifier::Verdict CFileVerifier::Check(const std::string& gameDir, const _filelist& entry) {
    const Verdict bySize = BySize(gameDir, entry);
    if (bySize != Verdict::ToDigest)
        return bySize;
    std::vector<char> buffer(kReadSize);
    const std::atomic<bool> never{false};
    const Verdict verdict =
        DigestFile(LocalListPath(gameDir, entry.fileName), entry, buffer, {}, never);
    return verdict == Verdict::ToDigest ? Verdict::Differs : verdict;
}

// The digest compares exactly: a list in upper case never finds its files current. However it
// ends, the file's whole size counts as done.
CFileVerifier::Verdict CFileVerifier::DigestFile(const std::string& path, const _filelist& entry,
                                                 std::vector<char>& buffer,
                                                 const Progress& progress,
                                                 const std::atomic<bool>& stop) {
    std::uint64_t done = 0;
    const auto report = [&](Verdict verdict) {
        const auto size = static_cast<std::uint64_t>(std::max<std::int64_t>(entry.fileSize, 0));
        if (progress)
            progress(size > done ? size - done : 0, true);
        return verdict;
    };
    platform::File file = platform::File::Open(path, platform::File::Mode::Read);
    const auto info = file.IsOpen() ? file.Info() : std::nullopt;
    if (!info || !info->regular || static_cast<std::int64_t>(info->size) != entry.fileSize)
        return report(Verdict::Differs);
    CMd5Context digest;
    for (;;) {
        if (stop)
            return Verdict::ToDigest;
        const long got = file.Read(buffer.data(), buffer.size());
        if (got < 0)
            return report(Verdict::Differs);  // unreadable now: fetch it again
        if (got == 0)
            break;
        digest.Update(buffer.data(), static_cast<std::size_t>(got));
        done += static_cast<std::uint64_t>(got);
        if (progress)
            progress(static_cast<std::uint64_t>(got), false);
    }
    return report(digest.Finish() == entry.md5 ? Verdict::Current : Verdict::Differs);
}

}  // namespace patch
