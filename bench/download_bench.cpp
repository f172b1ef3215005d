// The download engine as a check pass drives it (each missing file queued, the pass waiting for
// it) fetching one 512 MiB file, and 2,000 files of 16 KiB, from an update server on loopback,
// against one `curl` invocation fetching the same URLs into files. Ends with our throughput as a
// ratio of curl's for each case, and the engine's peak memory growth over the large file.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "bench_owner.h"
#include "bench_support.h"
#include "devserver/update_server.h"
#include "pack/checksum_writer.h"
#include "patch/md5.h"
#include "patch/update_manager.h"

namespace {

namespace fs = std::filesystem;
using Run = bench::MedianReporter::Run;

constexpr std::uint64_t kLargeSize = std::uint64_t{512} << 20;
constexpr int kSmallFiles = 2000;
constexpr std::size_t kSmallSize = 16 * 1024;

std::string SmallName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "small/f%04d.dat", i);
    return name;
}

// A "VmRSS" or "VmHWM" line of /proc/self/status, in KiB.
long StatusKiB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0)
            return std::strtol(line.c_str() + std::strlen(key) + 1, nullptr, 10);
    }
    return -1;
}

// User and system time of this process and its waited-for children, in ms: the server, the
// engine's threads and the curl processes alike.
double CpuMs() {
    double ms = 0;
    for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        ::getrusage(who, &usage);
        for (const timeval& t : {usage.ru_utime, usage.ru_stime})
            ms += static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
    }
    return ms;
}

// Starts a new peak: VmHWM falls back to the present VmRSS.
void ResetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// The served files with one checksum list for the large file and one for the small ones, and the
// server: made once in a temporary folder, removed at exit with all that was fetched into it.
class DownloadData final {
public:
    DownloadData() {
        std::mt19937_64 random(4243);
        fs::create_directories(Served() / "small");
        bench::WriteRandomFile(Served() / "large.dat", kLargeSize, random);
        for (int i = 0; i < kSmallFiles; ++i)
            bench::WriteRandomFile(Served() / SmallName(i), kSmallSize, random);
        WriteLists(CChecksumWriter(Served(), m_root / "unused").Collect());
        ::sync();
        ::setenv("no_proxy", "127.0.0.1,localhost", 1);
        m_server = std::make_unique<devserver::CUpdateServer>(Served());
        if (!m_server->Start())
            throw std::runtime_error("the update server cannot listen");
    }
    ~DownloadData() { m_server.reset(); }  // before the folder goes
    DownloadData(const DownloadData&) = delete;
    DownloadData& operator=(const DownloadData&) = delete;

    const fs::path& Root() const { return m_root.path(); }
    fs::path Served() const { return m_root / "served"; }
    std::string LargeList() const { return (m_root / "large.md5").string(); }
    std::string SmallList() const { return (m_root / "small.md5").string(); }
    const std::string& LargeDigest() const { return m_largeDigest; }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_server->Port()); }

private:
    void WriteLists(const std::vector<ChecksumEntry>& entries) {
        std::ofstream large(LargeList(), std::ios::binary);
        std::ofstream small(SmallList(), std::ios::binary);
        for (const ChecksumEntry& entry : entries) {
            if (entry.fileName == "large.dat") {
                large << FormatChecksumLine(entry);
                m_largeDigest = entry.md5;
            } else {
                small << FormatChecksumLine(entry);
            }
        }
        if (entries.size() != kSmallFiles + 1 || !large.flush() || !small.flush())
            throw std::runtime_error("cannot write the lists");
    }

    bench::TempFolder m_root{"download-bench"};
    std::string m_largeDigest;
    std::unique_ptr<devserver::CUpdateServer> m_server;
};

DownloadData& Data() {
    static DownloadData data;
    return data;
}

// A folder for one side to write into, fresh for every iteration. Deleting thousands of files
// between iterations would make the file system hunt for inodes on the next round; the folders
// go with the temporary folder at exit.
fs::path FreshFolder(const char* side) {
    static int count = 0;
    return Data().Root() / (std::string(side) + "-" + std::to_string(++count));
}

// The manager and its download thread for one benchmark; every iteration starts from a game
// folder without the files, so that the pass fetches each of them.
class Engine final {
public:
    Engine() : m_owner({}, Data().Url(), true) { m_manager.StartDownloadThread(); }
    ~Engine() {
        m_manager.JoinCheckThread();
        m_manager.StopDownloadThread();
    }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // False when the pass did not end or a file failed.
    bool Pass(const std::string& list) {
        m_manager.LoadChecksumList(list);
        return m_owner.WaitPassDone(std::chrono::minutes(5)) && m_manager.m_bServerOk == 1;
    }
    void SetGameDir(const fs::path& game) { m_owner.SetGameDir(game.string() + "/"); }
    long Fetched() const { return m_owner.fetched; }

private:
    BenchUpdateOwner m_owner;
    CMyUpdateManager m_manager{m_owner, "QuendBench"};
};

// Runs the pass over `list` once per iteration into a fresh game folder; answers the last one.
fs::path EngineCase(benchmark::State& state, const std::string& list, long files) {
    Engine engine;
    fs::path game;
    long peakGrowthKiB = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (!game.empty() && files == 1)
            fs::remove_all(game);  // one large file: no inode hunt, and the disk stays free
        game = FreshFolder("game");
        engine.SetGameDir(game);
        ResetPeakMemory();
        const long before = StatusKiB("VmRSS:");
        const double cpuBefore = CpuMs();
        state.ResumeTiming();
        if (!engine.Pass(list)) {
            state.SkipWithError("a file could not be fetched");
            break;
        }
        state.counters["cpu_ms"] = CpuMs() - cpuBefore;
        peakGrowthKiB = std::max(peakGrowthKiB, StatusKiB("VmHWM:") - before);
    }
    if (engine.Fetched() != files * static_cast<long>(state.iterations()))
        state.SkipWithError("the pass did not fetch every file");
    state.counters["peak_rss_growth_MiB"] = static_cast<double>(peakGrowthKiB) / 1024.0;
    return game;
}

void BM_EngineLarge(benchmark::State& state) {
    const fs::path game = EngineCase(state, Data().LargeList(), 1);
    const int fd = ::open((game / "large.dat").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || CMD5().GetFileMD5(fd) != Data().LargeDigest())
        state.SkipWithError("the large file arrived damaged");
    ::close(fd);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kLargeSize));
}

void BM_EngineSmall(benchmark::State& state) {
    EngineCase(state, Data().SmallList(), kSmallFiles);
    state.SetItemsProcessed(state.iterations() * kSmallFiles);
}

// One curl process fetching `names` one after the other over its kept-alive connection, each
// into its own file below `folder`.
int RunCurl(const std::vector<std::string>& names, const fs::path& folder) {
    std::vector<std::string> args = {
        "curl", "-s", "-S", "--noproxy", "*", "--create-dirs", "--output-dir", folder.string()};
    for (const std::string& name : names) {
        args.push_back("-o");
        args.push_back(name);
        args.push_back(Data().Url() + "/" + name);
    }
    return bench::RunProgram(std::move(args));
}

// As EngineCase, with curl.
fs::path CurlCase(benchmark::State& state, const std::vector<std::string>& names) {
    fs::path folder;
    for (auto _ : state) {
        state.PauseTiming();
        if (!folder.empty() && names.size() == 1)
            fs::remove_all(folder);
        folder = FreshFolder("curl");
        const double cpuBefore = CpuMs();
        state.ResumeTiming();
        if (RunCurl(names, folder) != 0) {
            state.SkipWithError("curl failed");
            break;
        }
        state.counters["cpu_ms"] = CpuMs() - cpuBefore;
    }
    return folder;
}

void BM_CurlLarge(benchmark::State& state) {
    const fs::path folder = CurlCase(state, {"large.dat"});
    if (fs::file_size(folder / "large.dat") != kLargeSize)
        state.SkipWithError("curl's large file is short");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kLargeSize));
}

void BM_CurlSmall(benchmark::State& state) {
    std::vector<std::string> names;
    for (int i = 0; i < kSmallFiles; ++i)
        names.push_back(SmallName(i));
    CurlCase(state, names);
    state.SetItemsProcessed(state.iterations() * kSmallFiles);
}

BENCHMARK(BM_EngineLarge)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_CurlLarge)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_EngineSmall)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_CurlSmall)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    bench::MedianReporter reporter;
    if (!bench::RunTakingTurns(
            argc, argv, [] { Data(); }, reporter))
        return 1;
    for (const auto& [what, ours, theirs, amount, unit, goal] :
         {std::tuple{"one file of 512 MiB", "BM_EngineLarge", "BM_CurlLarge",
                     static_cast<double>(kLargeSize >> 20), "MiB/s", "at least 0.9"},
          std::tuple{"2,000 files of 16 KiB", "BM_EngineSmall", "BM_CurlSmall",
                     static_cast<double>(kSmallFiles), "files/s", "at least 0.8"}}) {
        reporter.PrintRatio(
            what, ours, "ours", theirs, "curl", unit,
            [amount](const Run& run) { return amount / (run.GetAdjustedRealTime() / 1000.0); },
            goal);
        // Less at the mercy of a busy neighbour than the wall clock: the processor time each
        // side took, the server's included.
        reporter.PrintRatio(
            std::string(what) + ", processor time per run", ours, "ours", theirs, "curl", "ms",
            [](const Run& run) {
                const auto cpu = run.counters.find("cpu_ms");
                return cpu == run.counters.end() ? 0.0 : cpu->second.value;
            },
            nullptr);
    }
    for (const auto& [name, runs] : reporter.Runs()) {
        double peak = -1;
        for (const Run& run : runs) {
            if (const auto growth = run.counters.find("peak_rss_growth_MiB");
                growth != run.counters.end())
                peak = std::max(peak, growth->second.value);
        }
        if (peak >= 0)
            std::printf("%s: peak memory growth %.1f MiB (VmHWM over VmRSS before the pass)\n",
                        name.c_str(), peak);
    }
    return 0;
}
