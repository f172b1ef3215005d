// A check pass as the launcher runs it (the list loaded, every listed file compared, until
// WM_UPDATE_DONE) over 2,000 current files totalling 1 GiB, against `md5sum -c` over the same
// files, both from a warm page cache. Ends with our time as a ratio of md5sum's.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_owner.h"
#include "pack/checksum_writer.h"
#include "patch/update_manager.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 2000;
constexpr int kFolders = 20;
constexpr std::uint64_t kTotalBytes = std::uint64_t{1} << 30;
constexpr std::size_t kBlock = 1 << 20;

// Sizes from 1 KiB to 4 MiB, evenly spread on a log scale, scaled to add up to kTotalBytes.
std::vector<std::uint64_t> FileSizes(std::mt19937_64& random) {
    std::uniform_real_distribution<double> exponent(std::log(1024.0), std::log(4194304.0));
    std::vector<double> weights(kFiles);
    double sum = 0;
    for (double& weight : weights)
        sum += weight = std::exp(exponent(random));
    std::vector<std::uint64_t> sizes;
    std::uint64_t total = 0;
    for (int i = 0; i < kFiles - 1; ++i) {
        sizes.push_back(static_cast<std::uint64_t>(weights[i] / sum * kTotalBytes));
        total += sizes.back();
    }
    sizes.push_back(kTotalBytes - total);
    return sizes;
}

void WriteRandomFile(const fs::path& path, std::uint64_t size, std::mt19937_64& random) {
    std::vector<std::uint64_t> block(kBlock / 8);
    std::ofstream out(path, std::ios::binary);
    for (std::uint64_t left = size; left > 0;) {
        for (std::uint64_t& word : block)
            word = random();
        const std::size_t part = static_cast<std::size_t>(std::min<std::uint64_t>(left, kBlock));
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(part));
        left -= part;
    }
    if (!out.flush())
        throw std::runtime_error("cannot write " + path.string());
}

void ReadWhole(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::vector<char> buffer(kBlock);
    while (fd >= 0 && ::read(fd, buffer.data(), buffer.size()) > 0) {
    }
    ::close(fd);
}

// The game folder with its files, our checksum list of it and md5sum's list of the same files,
// made once in a temporary folder and removed at exit.
class CheckData final {
public:
    CheckData() {
        std::string pattern = (fs::temp_directory_path() / "check-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        m_root = pattern;
        std::mt19937_64 random(4242);
        const std::vector<std::uint64_t> sizes = FileSizes(random);
        for (int i = 0; i < kFiles; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "Data%02d/file%04d.pak", i % kFolders, i);
            fs::create_directories((Game() / name).parent_path());
            WriteRandomFile(Game() / name, sizes[static_cast<std::size_t>(i)], random);
        }
        std::fprintf(stderr, "listing %d files of %llu MiB in %s\n", kFiles,
                     static_cast<unsigned long long>(kTotalBytes >> 20), m_root.c_str());
        WriteLists(CChecksumWriter(Game(), m_root).Collect());
        // Written back once, so that neither side meets the flusher; then in the page cache.
        ::sync();
        for (const auto& item : fs::recursive_directory_iterator(Game()))
            ReadWhole(item.path());
    }
    ~CheckData() {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }
    CheckData(const CheckData&) = delete;
    CheckData& operator=(const CheckData&) = delete;

    fs::path Game() const { return m_root / "game"; }
    std::string List() const { return (m_root / "checksum_all.md5").string(); }
    std::string Md5sumList() const { return (m_root / "md5sum.txt").string(); }

private:
    void WriteLists(const std::vector<ChecksumEntry>& entries) {
        std::ofstream list(List(), std::ios::binary);
        std::ofstream md5sum(Md5sumList(), std::ios::binary);
        for (const ChecksumEntry& entry : entries) {
            list << FormatChecksumLine(entry);
            std::string path = entry.fileName;  // plain ASCII names: only the separators differ
            std::replace(path.begin(), path.end(), '\\', '/');
            md5sum << entry.md5 << "  " << (Game() / path).string() << "\n";
        }
        if (entries.size() != kFiles || !list.flush() || !md5sum.flush())
            throw std::runtime_error("cannot write the lists");
    }

    fs::path m_root;
};

const CheckData& Data() {
    static const CheckData data;
    return data;
}

void BM_CheckPass(benchmark::State& state) {
    const CheckData& data = Data();
    BenchUpdateOwner owner(data.Game().string() + "/", {}, false);
    CMyUpdateManager manager(owner, "QuendBench");
    for (auto _ : state) {
        manager.LoadChecksumList(data.List());
        if (!owner.WaitPassDone(std::chrono::minutes(5))) {
            state.SkipWithError("the check pass did not end");
            break;
        }
    }
    manager.JoinCheckThread();
    if (owner.fetched != 0 || owner.current != kFiles * static_cast<long>(state.iterations()))
        state.SkipWithError("a file was not found current");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTotalBytes));
}

// md5sum -c over the same files, its output thrown away.
int RunMd5sum(const std::string& list) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args = {"md5sum", "--quiet", "-c", list};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, "md5sum", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || ::waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void BM_Md5sum(benchmark::State& state) {
    const CheckData& data = Data();
    for (auto _ : state) {
        if (RunMd5sum(data.Md5sumList()) != 0) {
            state.SkipWithError("md5sum -c failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTotalBytes));
}

BENCHMARK(BM_CheckPass)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_Md5sum)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// Prints as usual and keeps each benchmark's median wall-clock time.
class RatioReporter final : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (!run.error_occurred && run.run_type == Run::RT_Aggregate &&
                run.aggregate_name == "median")
                m_medians[run.run_name.function_name] = run.GetAdjustedRealTime();
        }
    }

    void PrintRatio() {
        if (m_medians.count("BM_CheckPass") == 0 || m_medians.count("BM_Md5sum") == 0) {
            std::printf("no ratio: a benchmark failed\n");
            return;
        }
        const double ours = m_medians["BM_CheckPass"];
        const double theirs = m_medians["BM_Md5sum"];
        std::printf(
            "check pass over %d files, %llu MiB (medians): ours %.0f ms, md5sum -c %.0f ms, "
            "time ratio %.3f (goal: at most 1.10)\n",
            kFiles, static_cast<unsigned long long>(kTotalBytes >> 20), ours, theirs,
            ours / theirs);
    }

private:
    std::map<std::string, double> m_medians;
};

}  // namespace

int main(int argc, char** argv) {
    // The two sides take turns, so that a busy neighbour on a shared machine hits both alike.
    std::vector<char*> args(argv, argv + argc);
    // Seven rounds unless the command line says otherwise.
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    char repetitions[] = "--benchmark_repetitions=7";
    args.insert(args.begin() + 1, {interleave, repetitions});
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 1;
    Data();  // made before the first measurement
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    reporter.PrintRatio();
    return 0;
}
