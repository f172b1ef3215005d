// The update engine fetching from nginx (the publishing guide's configuration) on loopback, each
// side taking turns with its reference in the same run:
// - 2,000 files of 16 KiB over one connection against one `curl` invocation fetching the same URLs
//   over its one kept-alive connection, and over N connections against
//   `curl --parallel --parallel-max N`;
// - one file of 512 MiB against `curl`;
// - both of the last against curl followed by `md5sum -c` over what it fetched: curl alone
//   does not check what arrived, the engine does;
// - the same file cut at 90% (the engine stopped) and fetched again: what the second request
//   carries, and what the server sent twice.
// Ends with the ratios, the engine's peak memory growth, and where the time of one small file
// goes.

#include <fcntl.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "bench_owner.h"
#include "bench_support.h"
#include "pack/checksum_writer.h"
#include "patch/checksum_list.h"
#include "patch/md5.h"
#include "patch/md5_context.h"
#include "patch/update_manager.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/http_client.h"
#include "platform/window_messages.h"
#include "support/nginx_server.h"

namespace {

namespace fs = std::filesystem;
using Run = bench::MedianReporter::Run;
using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kLargeSize = std::uint64_t{512} << 20;
constexpr int kSmallFiles = 2000;
constexpr std::size_t kSmallSize = 16 * 1024;
constexpr int kConnections = 4;
constexpr double kCutShare = 0.9;

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

// User and system time of this process and its waited-for children, in ms: the engine's
// threads and the curl processes alike (nginx runs apart and counts for neither).
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

// The served files with one checksum list for the large file and one for the small ones, and
// nginx over them: made once in a temporary folder, removed at exit with all fetched into it.
class DownloadData final {
public:
    DownloadData() {
        std::mt19937_64 random(4243);
        fs::create_directories(Served() / "small");
        bench::WriteRandomFile(Served() / "large.dat", kLargeSize, random);
        for (int i = 0; i < kSmallFiles; ++i)
            bench::WriteRandomFile(Served() / SmallName(i), kSmallSize, random);
        WriteLists(pack::CChecksumWriter(Served(), m_root / "unused").Collect());
        ::sync();
        ::setenv("no_proxy", "127.0.0.1,localhost", 1);
        fs::create_directories(m_root / "nginx");
        m_nginx = std::make_unique<quend::test::NginxServer>(
            fs::path(QUEND_SOURCE_DIR) / "docs" / "nginx-update.conf", Served(), m_root / "nginx");
        std::string error;
        if (!m_nginx->Start(error))
            throw std::runtime_error(error);
        bench::WarmPageCache(Served() / "large.dat");
    }
    ~DownloadData() { m_nginx.reset(); }  // before the folder goes
    DownloadData(const DownloadData&) = delete;
    DownloadData& operator=(const DownloadData&) = delete;

    const fs::path& Root() const { return m_root.path(); }
    fs::path Served() const { return m_root / "served"; }
    std::string LargeList() const { return (m_root / "large.md5").string(); }
    std::string SmallList() const { return (m_root / "small.md5").string(); }
    const patch::_filelist& Large() const { return m_large; }
    // The listed digest of the served file `name` ("small/f0001.dat").
    const std::string& Md5Of(const std::string& name) const { return m_md5s.at(name); }
    std::string Url() const { return m_nginx->Url(); }
    quend::test::NginxServer& Nginx() { return *m_nginx; }

private:
    void WriteLists(const std::vector<patch::_filelist>& entries) {
        for (const patch::_filelist& entry : entries) {
            std::string name = entry.fileName;
            std::replace(name.begin(), name.end(), '\\', '/');
            m_md5s[name] = entry.md5;
        }
        std::ofstream large(LargeList(), std::ios::binary);
        std::ofstream small(SmallList(), std::ios::binary);
        for (const patch::_filelist& entry : entries) {
            if (entry.fileName == "large.dat") {
                large << patch::FormatChecksumLine(entry);
                m_large = entry;
            } else {
                small << patch::FormatChecksumLine(entry);
            }
        }
        if (entries.size() != kSmallFiles + 1 || !large.flush() || !small.flush())
            throw std::runtime_error("cannot write the lists");
    }

    bench::TempFolder m_root{"download-bench"};
    patch::_filelist m_large;
    std::map<std::string, std::string> m_md5s;
    std::unique_ptr<quend::test::NginxServer> m_nginx;
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

// Removes the last large file and waits until the disk has caught up with every write, so that
// neither side pays for the other's dirty pages. One large file: no inode hunt, and the disk
// stays free.
void RemoveAndSettle(const fs::path& folder) {
    fs::remove_all(folder);
    ::sync();
}

// An engine for one benchmark, as the window runs it (progress posted); every iteration starts
// from a game folder without the files, so that the pass fetches each of them.
class Engine final {
public:
    explicit Engine(int connections)
        : m_owner({}, Data().Url()),
          m_manager(std::make_unique<patch::CMyUpdateManager>(
              m_owner, "QuendBench", patch::CMyUpdateManager::Settings{connections, 0, {}})) {
        m_manager->StartDownloadThread();
        m_manager->SetPostProgress(true);
    }

    // False when the pass did not end or a file failed.
    bool Pass(const std::string& list, long files) {
        m_manager->LoadChecksumList(list);
        return m_owner.WaitPassDone(std::chrono::minutes(5)) &&
               m_manager->LastResult().fetchedFiles == files &&
               m_manager->LastResult().failedFiles == 0;
    }
    void SetGameDir(const fs::path& game) { m_owner.SetGameDir(game.string() + "/"); }
    BenchUpdateOwner& Owner() { return m_owner; }
    patch::CMyUpdateManager& Manager() { return *m_manager; }
    // A new engine in place of this one, as a launcher started again.
    void Restart(int connections) {
        m_manager.reset();
        m_manager = std::make_unique<patch::CMyUpdateManager>(
            m_owner, "QuendBench", patch::CMyUpdateManager::Settings{connections, 0, {}});
        m_manager->StartDownloadThread();
        m_manager->SetPostProgress(true);
    }

private:
    BenchUpdateOwner m_owner;
    std::unique_ptr<patch::CMyUpdateManager> m_manager;
};

// Runs the pass over `list` once per iteration into a fresh game folder; answers the last one.
fs::path EngineCase(benchmark::State& state, const std::string& list, long files, int connections) {
    Engine engine(connections);
    fs::path game;
    long peakGrowthKiB = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (!game.empty() && files == 1)
            RemoveAndSettle(game);
        game = FreshFolder("game");
        engine.SetGameDir(game);
        ResetPeakMemory();
        const long before = StatusKiB("VmRSS:");
        const double cpuBefore = CpuMs();
        state.ResumeTiming();
        if (!engine.Pass(list, files)) {
            state.SkipWithError("a file could not be fetched");
            break;
        }
        state.counters["cpu_ms"] = CpuMs() - cpuBefore;
        peakGrowthKiB = std::max(peakGrowthKiB, StatusKiB("VmHWM:") - before);
    }
    state.counters["peak_rss_growth_MiB"] = static_cast<double>(peakGrowthKiB) / 1024.0;
    return game;
}

bool HoldsLargeFile(const fs::path& path) {
    platform::File file = platform::File::Open(path.string(), platform::File::Mode::Read);
    return file.IsOpen() && patch::CMD5().GetFileMD5(file) == Data().Large().md5;
}

void BM_EngineLarge(benchmark::State& state) {
    const fs::path game = EngineCase(state, Data().LargeList(), 1, 1);
    if (!HoldsLargeFile(game / "large.dat"))
        state.SkipWithError("the large file arrived damaged");
    // Each repetition is a call of its own: the next must not find this one's file and dirty pages.
    RemoveAndSettle(game);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kLargeSize));
}

void BM_EngineSmall(benchmark::State& state) {
    EngineCase(state, Data().SmallList(), kSmallFiles, 1);
    state.SetItemsProcessed(state.iterations() * kSmallFiles);
}

void BM_EngineSmallParallel(benchmark::State& state) {
    EngineCase(state, Data().SmallList(), kSmallFiles, kConnections);
    state.SetItemsProcessed(state.iterations() * kSmallFiles);
}

// The body bytes nginx sent for `target` in the requests logged after the first `skip` lines,
// and those requests' ranges.
std::pair<std::uint64_t, std::vector<std::string>> Sent(const std::string& target,
                                                        std::size_t skip) {
    std::uint64_t bytes = 0;
    std::vector<std::string> ranges;
    const std::vector<std::string> log = Data().Nginx().AccessLog();
    for (std::size_t i = skip; i < log.size(); ++i) {
        // "GET /large.dat HTTP/1.1|206|BYTES|bytes=N-"
        if (log[i].find(" " + target + " ") == std::string::npos)
            continue;
        const std::size_t bar1 = log[i].find('|'), bar2 = log[i].find('|', bar1 + 1),
                          bar3 = log[i].find('|', bar2 + 1);
        bytes += std::strtoull(log[i].c_str() + bar2 + 1, nullptr, 10);
        ranges.push_back(log[i].substr(bar3 + 1));
    }
    return {bytes, ranges};
}

// The large file cut at 90% by stopping the engine, then fetched by a new one: the second
// request must ask for the rest only.
void BM_EngineResumeLarge(benchmark::State& state) {
    Engine engine(1);
    fs::path game;
    double second = 0, twice = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (!game.empty())
            RemoveAndSettle(game);
        game = FreshFolder("resume");
        engine.SetGameDir(game);
        engine.Owner().ResetReceived();
        const std::size_t logged = Data().Nginx().AccessLog().size();
        engine.Manager().LoadChecksumList(Data().LargeList());
        const bool cut = engine.Owner().WaitReceived(
            static_cast<std::uint64_t>(kLargeSize * kCutShare), std::chrono::minutes(2));
        engine.Restart(1);  // stops the first: the launcher closed mid-transfer
        state.ResumeTiming();
        if (!cut || !engine.Pass(Data().LargeList(), 1)) {
            state.SkipWithError("the cut file could not be fetched again");
            break;
        }
        state.PauseTiming();
        // nginx logs a request when it ends; the cut one has ended by now.
        const auto [sent, ranges] = Sent("/large.dat", logged);
        const auto [last, lastRanges] = Sent("/large.dat", Data().Nginx().AccessLog().size() - 1);
        if (ranges.size() != 2 || lastRanges.empty() || lastRanges[0] == "-" ||
            !HoldsLargeFile(game / "large.dat")) {
            state.SkipWithError("the second request was no range request, or the file is wrong");
            break;
        }
        second = 100.0 * static_cast<double>(last) / kLargeSize;
        twice = 100.0 * static_cast<double>(sent - std::min<std::uint64_t>(sent, kLargeSize)) /
                kLargeSize;
        state.ResumeTiming();
    }
    if (!game.empty())
        RemoveAndSettle(game);
    state.counters["second_request_pct"] = second;
    state.counters["sent_twice_pct"] = twice;
}

// One curl process fetching `names` over its kept-alive connection, or over up to `parallel`
// connections, each into its own file below `folder`.
int RunCurl(const std::vector<std::string>& names, const fs::path& folder, int parallel) {
    std::vector<std::string> args = {
        "curl",          "-s",           "-S",           "--no-progress-meter", "--noproxy", "*",
        "--create-dirs", "--output-dir", folder.string()};
    if (parallel > 1) {
        args.insert(args.end(), {"--parallel", "--parallel-max", std::to_string(parallel)});
    }
    for (const std::string& name : names) {
        args.push_back("-o");
        args.push_back(name);
        args.push_back(Data().Url() + "/" + name);
    }
    return bench::RunProgram(std::move(args));
}

// md5sum's list of `names` below `folder`, written beside them.
fs::path WriteMd5sumList(const std::vector<std::string>& names, const fs::path& folder) {
    fs::create_directories(folder);
    const fs::path list = folder / "md5sum.txt";
    std::ofstream out(list, std::ios::binary);
    for (const std::string& name : names) {
        out << Data().Md5Of(name) << "  " << (folder / name).string() << "\n";
    }
    if (!out.flush())
        throw std::runtime_error("cannot write " + list.string());
    return list;
}

// As EngineCase, with curl; `checked`: then `md5sum -c` over what curl fetched, in the time.
fs::path CurlCase(benchmark::State& state, const std::vector<std::string>& names, int parallel,
                  bool checked = false) {
    fs::path folder;
    for (auto _ : state) {
        state.PauseTiming();
        if (!folder.empty() && names.size() == 1)
            RemoveAndSettle(folder);
        folder = FreshFolder("curl");
        const fs::path list = checked ? WriteMd5sumList(names, folder) : fs::path();
        const double cpuBefore = CpuMs();
        state.ResumeTiming();
        if (RunCurl(names, folder, parallel) != 0) {
            state.SkipWithError("curl failed");
            break;
        }
        if (checked && bench::RunProgram({"md5sum", "--quiet", "-c", list.string()}) != 0) {
            state.SkipWithError("md5sum -c failed");
            break;
        }
        state.counters["cpu_ms"] = CpuMs() - cpuBefore;
    }
    return folder;
}

std::vector<std::string> SmallNames() {
    std::vector<std::string> names;
    for (int i = 0; i < kSmallFiles; ++i)
        names.push_back(SmallName(i));
    return names;
}

void BM_CurlLarge(benchmark::State& state) {
    const fs::path folder = CurlCase(state, {"large.dat"}, 1);
    if (fs::file_size(folder / "large.dat") != kLargeSize)
        state.SkipWithError("curl's large file is short");
    RemoveAndSettle(folder);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kLargeSize));
}

void BM_CurlLargeChecked(benchmark::State& state) {
    RemoveAndSettle(CurlCase(state, {"large.dat"}, 1, true));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kLargeSize));
}

void BM_CurlSmall(benchmark::State& state) {
    CurlCase(state, SmallNames(), 1);
    state.SetItemsProcessed(state.iterations() * kSmallFiles);
}

void BM_CurlSmallParallel(benchmark::State& state) {
    CurlCase(state, SmallNames(), kConnections);
    state.SetItemsProcessed(state.iterations() * kSmallFiles);
}

void BM_CurlSmallParallelChecked(benchmark::State& state) {
    CurlCase(state, SmallNames(), kConnections, true);
    state.SetItemsProcessed(state.iterations() * kSmallFiles);
}

BENCHMARK(BM_EngineLarge)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_CurlLarge)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_EngineSmall)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_CurlSmall)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_EngineSmallParallel)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_CurlSmallParallel)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_CurlLargeChecked)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_CurlSmallParallelChecked)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_EngineResumeLarge)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// Where the time of one small file goes: the engine's steps for each of the 2,000 files, timed
// one by one over one kept-alive connection, in microseconds per file.
void PrintSmallFilePhases() {
    struct Phase {
        const char* name;
        double us = 0;
    };
    Phase request{"request (GET to headers)"}, body{"body read"}, digest{"digest"},
        create{"part file create"}, write{"write"}, mode{"mode"}, time{"time set"}, close{"close"},
        rename{"rename"}, post{"progress posts (3)"};
    platform::HttpClient http("QuendBench");
    BenchUpdateOwner owner({}, {});
    const fs::path folder = FreshFolder("phases");
    fs::create_directories(folder / "small");
    std::vector<char> buffer(327680);
    const auto lap = [](Clock::time_point& at, Phase& phase) {
        const Clock::time_point now = Clock::now();
        phase.us += std::chrono::duration<double, std::micro>(now - at).count();
        at = now;
    };
    for (int i = 0; i < kSmallFiles; ++i) {
        const std::string name = SmallName(i);
        const std::string target = (folder / name).string();
        Clock::time_point at = Clock::now();
        if (!http.Get(Data().Url() + "/" + name) || http.Status() != 200)
            throw std::runtime_error("GET " + name + ": " + http.LastError());
        lap(at, request);
        const long got = http.Read(buffer.data(), buffer.size());
        if (http.Read(buffer.data() + got, buffer.size() - got) != 0)
            throw std::runtime_error("body of " + name);
        http.Close();
        lap(at, body);
        patch::CMd5Context context;
        context.Update(buffer.data(), static_cast<std::size_t>(got));
        (void)context.Finish();
        lap(at, digest);
        platform::File part =
            platform::File::Open(target + ".part", platform::File::Mode::ReadWriteCreate);
        lap(at, create);
        part.Write(buffer.data(), static_cast<std::size_t>(got));
        lap(at, write);
        part.SetMode(0644);
        lap(at, mode);
        part.SetModifiedTime(1588298400);
        lap(at, time);
        part.Close();
        lap(at, close);
        std::string error;
        platform::ReplaceFile(target + ".part", target, error);
        lap(at, rename);
        for (unsigned id :
             {platform::WM_DOWN_FILE, platform::WM_DOWN_RANGE, platform::WM_DOWN_PROGRESS})
            owner.Post({id, got, 0, id == platform::WM_DOWN_FILE ? target : std::string()});
        lap(at, post);
    }
    double total = 0;
    for (const Phase* phase :
         {&request, &body, &digest, &create, &write, &mode, &time, &close, &rename, &post})
        total += phase->us;
    std::printf("where the time of one 16 KiB file goes (mean of %d, microseconds):\n",
                kSmallFiles);
    for (const Phase* phase :
         {&request, &body, &digest, &create, &write, &mode, &time, &close, &rename, &post})
        std::printf("  %-26s %8.1f  (%4.1f%%)\n", phase->name, phase->us / kSmallFiles,
                    100.0 * phase->us / total);
    std::printf("  %-26s %8.1f\n", "all steps", total / kSmallFiles);
}

double Counter(const Run& run, const char* name) {
    const auto found = run.counters.find(name);
    return found == run.counters.end() ? -1.0 : found->second.value;
}

}  // namespace

int main(int argc, char** argv) {
    bench::MedianReporter reporter;
    try {
        if (!bench::RunTakingTurns(
                argc, argv, [] { Data(); }, reporter))
            return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "cannot run: %s\n", error.what());
        return 1;
    }
    const std::string parallel = std::to_string(kConnections) + " connections";
    for (const auto& [what, ours, theirs, amount, unit, goal] :
         {std::tuple{std::string("one file of 512 MiB"), "BM_EngineLarge", "BM_CurlLarge",
                     static_cast<double>(kLargeSize >> 20), "MiB/s", "at least 1.0"},
          std::tuple{std::string("2,000 files of 16 KiB, one connection"), "BM_EngineSmall",
                     "BM_CurlSmall", static_cast<double>(kSmallFiles), "files/s", "at least 1.0"},
          std::tuple{"2,000 files of 16 KiB, " + parallel, "BM_EngineSmallParallel",
                     "BM_CurlSmallParallel", static_cast<double>(kSmallFiles), "files/s",
                     "at least 1.0"}}) {
        reporter.PrintRatio(
            what, ours, "ours", theirs, "curl", unit,
            [amount](const Run& run) { return amount / (run.GetAdjustedRealTime() / 1000.0); },
            goal);
        // Less at the mercy of a busy neighbour than the wall clock: the processor time each
        // side took on this side of the connection.
        reporter.PrintRatio(
            what + ", processor time per run", ours, "ours", theirs, "curl", "ms",
            [](const Run& run) { return Counter(run, "cpu_ms"); }, nullptr);
    }
    // The same checked result: curl, then md5sum over what it fetched.
    for (const auto& [what, ours, theirs, amount, unit] :
         {std::tuple{std::string("one file of 512 MiB, checked"), "BM_EngineLarge",
                     "BM_CurlLargeChecked", static_cast<double>(kLargeSize >> 20), "MiB/s"},
          std::tuple{"2,000 files of 16 KiB, " + parallel + ", checked", "BM_EngineSmallParallel",
                     "BM_CurlSmallParallelChecked", static_cast<double>(kSmallFiles), "files/s"}}) {
        reporter.PrintRatio(
            what, ours, "ours", theirs, "curl + md5sum -c", unit,
            [amount](const Run& run) { return amount / (run.GetAdjustedRealTime() / 1000.0); },
            nullptr);
    }
    if (const Run* resume = reporter.Median("BM_EngineResumeLarge")) {
        std::printf(
            "512 MiB cut at 90%% and fetched again (median): the second request carried %.1f%% "
            "of the file (goal: at most 12%%), %.2f%% was sent twice\n",
            Counter(*resume, "second_request_pct"), Counter(*resume, "sent_twice_pct"));
    }
    for (const auto& [name, runs] : reporter.Runs()) {
        double peak = -1;
        for (const Run& run : runs)
            peak = std::max(peak, Counter(run, "peak_rss_growth_MiB"));
        if (peak >= 0)
            std::printf(
                "%s: peak memory growth %.1f MiB (VmHWM over VmRSS before the pass; goal: "
                "under 16)\n",
                name.c_str(), peak);
    }
    PrintSmallFilePhases();
    return 0;
}
