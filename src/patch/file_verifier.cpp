#include "patch/file_verifier.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <thread>

#include "patch/checksum_list.h"
#include "patch/md5_context.h"
#include "patch/md5_lanes.h"
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

// The listed file at `path` opened for digesting, if it is still a plain file of the listed size.
std::optional<platform::File> OpenListed(const std::string& path, const _filelist& entry) {
    // Exclusive, as designed: a file another process has open (a running game) is fetched anew.
    platform::File file =
        platform::File::Open(path, platform::File::Mode::Read, platform::File::Share::None);
    const auto info = file.IsOpen() ? file.Info() : std::nullopt;
    if (!info || !info->regular || static_cast<std::int64_t>(info->size) != entry.fileSize)
        return std::nullopt;
    return file;
}

// One thread's share of a Digest call: as many files at once as CMd5Lanes has lanes, each read
// into its lane's part of one buffer and digested side by side with the others. Each thread
// takes the next file in list order; every verdict has its own slot.
class CLaneDigests final {
public:
    using Verdict = CFileVerifier::Verdict;
    struct Work {
        const std::string& gameDir;
        const std::vector<_filelist>& entries;
        std::vector<Verdict>& verdicts;
        const CFileVerifier::Progress& progress;
        const std::atomic<bool>& stop;
        std::vector<std::size_t> items;  // the places in the list still to digest
        std::atomic<std::size_t> next;
    };

    explicit CLaneDigests(Work& work)
        : m_work(work), m_files(m_lanes.Lanes()), m_buffer(m_lanes.Lanes() * kLaneRead) {}

    // Until every file is decided or `stop` holds; files still open then stay ToDigest.
    void Run() {
        std::vector<const unsigned char*> data(m_lanes.Lanes());
        while (!m_work.stop) {
            std::size_t blocks = SIZE_MAX;
            for (std::size_t lane = 0; lane < m_lanes.Lanes(); ++lane) {
                LaneFile& file = m_files[lane];
                data[lane] = Fill(lane) ? Lane(lane) + file.begin : nullptr;
                if (data[lane])
                    blocks = std::min(blocks, (file.end - file.begin) / 64);
            }
            if (blocks == SIZE_MAX)
                return;
            m_lanes.Compress(data.data(), blocks);
            for (std::size_t lane = 0; lane < m_lanes.Lanes(); ++lane)
                m_files[lane].begin += data[lane] ? 64 * blocks : 0;
        }
    }

private:
    static constexpr std::size_t kLaneRead = 0x10000;  // a multiple of the 64-byte block
    static constexpr std::size_t kNone = SIZE_MAX;

    // The file a lane digests and its bytes read but not yet digested.
    struct LaneFile {
        std::size_t item = kNone;
        platform::File file;
        std::uint64_t read = 0;
        std::size_t begin = 0, end = 0;
    };

    unsigned char* Lane(std::size_t lane) { return m_buffer.data() + lane * kLaneRead; }

    // Gives the lane at least one whole block to digest, finishing its files and taking the
    // next ones as needed; false once no file is left for it.
    bool Fill(std::size_t lane) {
        LaneFile& file = m_files[lane];
        for (;;) {
            if (file.item == kNone && !Take(lane))
                return false;
            if (file.end - file.begin >= 64)
                return true;
            std::memmove(Lane(lane), Lane(lane) + file.begin, file.end - file.begin);
            file.end -= file.begin;
            file.begin = 0;
            const long got = file.file.Read(Lane(lane) + file.end, kLaneRead - file.end);
            if (got > 0) {
                file.end += static_cast<std::size_t>(got);
                file.read += static_cast<std::uint64_t>(got);
                if (m_work.progress)
                    m_work.progress(static_cast<std::uint64_t>(got), false);
                continue;
            }
            // Unreadable now: fetch it again. Otherwise the digest compares exactly: a list in
            // upper case never finds its files current.
            const _filelist& entry = m_work.entries[file.item];
            Decide(file, got == 0 && m_lanes.Finish(lane, Lane(lane), file.end) == entry.md5
                             ? Verdict::Current
                             : Verdict::Differs);
        }
    }

    // Opens the next file of the list for the lane; those that cannot be digested are decided.
    bool Take(std::size_t lane) {
        for (std::size_t k = m_work.next++; k < m_work.items.size(); k = m_work.next++) {
            LaneFile& file = m_files[lane];
            file = LaneFile{};
            file.item = m_work.items[k];
            const _filelist& entry = m_work.entries[file.item];
            std::optional<platform::File> opened =
                OpenListed(LocalListPath(m_work.gameDir, entry.fileName), entry);
            if (!opened) {
                Decide(file, Verdict::Differs);
                continue;
            }
            file.file = std::move(*opened);
            m_lanes.Reset(lane);
            return true;
        }
        return false;
    }

    // However a file ends, its whole size counts as done.
    void Decide(LaneFile& file, Verdict verdict) {
        const std::uint64_t size = m_work.entries[file.item].Bytes();
        m_work.verdicts[file.item] = verdict;
        if (m_work.progress)
            m_work.progress(size > file.read ? size - file.read : 0, true);
        file = LaneFile{};
    }

    Work& m_work;
    CMd5Lanes m_lanes;
    std::vector<LaneFile> m_files;
    std::vector<unsigned char> m_buffer;
};

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
    CLaneDigests::Work work{gameDir, entries, verdicts, progress, stop, {}, {0}};
    for (std::size_t i = 0; i < verdicts.size(); ++i) {
        if (verdicts[i] == Verdict::ToDigest)
            work.items.push_back(i);
    }
    // A thread that fails (out of memory) leaves its files undecided, for the caller to fetch.
    const auto run = [&work]() noexcept {
        try {
            CLaneDigests(work).Run();
        } catch (...) {
        }
    };
    const std::size_t helpers = std::min<std::size_t>(m_threads, work.items.size());
    std::vector<std::jthread> pool;
    for (std::size_t i = 1; i < helpers; ++i)
        pool.emplace_back(run);
    run();
}

// The digest compares exactly: a list in upper case never finds its files current.
CFileVerifier::Verdict CFileVerifier::Check(const std::string& gameDir, const _filelist& entry) {
    const Verdict bySize = BySize(gameDir, entry);
    if (bySize != Verdict::ToDigest)
        return bySize;
    std::optional<platform::File> file = OpenListed(LocalListPath(gameDir, entry.fileName), entry);
    if (!file)
        return Verdict::Differs;
    std::vector<char> buffer(kReadSize);
    CMd5Context digest;
    for (long got; (got = file->Read(buffer.data(), buffer.size())) != 0;) {
        if (got < 0)
            return Verdict::Differs;  // unreadable now: fetch it again
        digest.Update(buffer.data(), static_cast<std::size_t>(got));
    }
    return digest.Finish() == entry.md5 ? Verdict::Current : Verdict::Differs;
}

}  // namespace patch
