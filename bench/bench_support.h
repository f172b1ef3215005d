#pragma once
// What the benchmarks share: a temporary folder removed at exit, random files and a warm page
// cache, running a reference program, the command line that makes two sides take turns, and a
// reporter that keeps each benchmark's median run to print the ratio of ours to the reference.
// Main thread only.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

namespace fs = std::filesystem;

inline constexpr std::size_t kBlock = 1 << 20;

// A fresh folder "<system temporary folder>/<prefix>-XXXXXX", removed with all in it.
class TempFolder final {
public:
    explicit TempFolder(const std::string& prefix) {
        std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const fs::path& path() const { return m_path; }
    fs::path operator/(const std::string& name) const { return m_path / name; }

private:
    fs::path m_path;
};

// `size` bytes from `random`, written a block at a time.
inline void WriteRandomFile(const fs::path& path, std::uint64_t size, std::mt19937_64& random) {
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

// Reads the file once, so that a measurement finds it in the page cache.
inline void WarmPageCache(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::vector<char> buffer(kBlock);
    while (fd >= 0 && ::read(fd, buffer.data(), buffer.size()) > 0) {
    }
    ::close(fd);
}

// Runs the program `args[0]`, found on PATH, with its output thrown away; its exit status, -1
// when it could not run or did not exit normally.
inline int RunProgram(std::vector<std::string> args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || ::waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Initializes Google Benchmark so that the two sides take turns, and a busy neighbour on a
// shared machine hits both alike, for seven rounds unless the command line says otherwise.
// False on an argument it does not know.
inline bool InitializeTakingTurns(int argc, char** argv) {
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    static char repetitions[] = "--benchmark_repetitions=7";
    static std::vector<char*> args;
    args.assign(argv, argv + argc);
    args.insert(args.begin() + 1, {interleave, repetitions});
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    return !benchmark::ReportUnrecognizedArguments(count, args.data());
}

// Prints as usual and keeps each benchmark's median run (its only run when it is not repeated)
// and every single run.
class MedianReporter final : public benchmark::ConsoleReporter {
public:
    MedianReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred)
                continue;
            const std::string& name = run.run_name.function_name;
            if (run.run_type == Run::RT_Iteration)
                m_runs[name].push_back(run);
            if ((run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") ||
                (run.run_type == Run::RT_Iteration && run.repetitions <= 1))
                m_medians.insert_or_assign(name, run);
        }
    }

    // The median run of `name`; null when it did not run or failed.
    const Run* Median(const std::string& name) const {
        const auto found = m_medians.find(name);
        return found == m_medians.end() ? nullptr : &found->second;
    }
    const std::map<std::string, std::vector<Run>>& Runs() const { return m_runs; }

    // "<what> (medians): <ours> <a> <unit>, <theirs> <b> <unit>, ratio <a / b> (goal: <goal>)",
    // with `figure` taken from the median runs of `oursName` and `theirsName`; no goal when null.
    void PrintRatio(const std::string& what, const std::string& oursName, const char* ours,
                    const std::string& theirsName, const char* theirs, const char* unit,
                    const std::function<double(const Run&)>& figure, const char* goal) const {
        const Run* oursRun = Median(oursName);
        const Run* theirsRun = Median(theirsName);
        if (oursRun == nullptr || theirsRun == nullptr) {
            std::printf("%s: no ratio (not run, or a benchmark failed)\n", what.c_str());
            return;
        }
        const double a = figure(*oursRun);
        const double b = figure(*theirsRun);
        std::printf("%s (medians): %s %.0f %s, %s %.0f %s, ratio %.3f", what.c_str(), ours, a, unit,
                    theirs, b, unit, a / b);
        if (goal != nullptr)
            std::printf(" (goal: %s)", goal);
        std::printf("\n");
    }

private:
    std::map<std::string, Run> m_medians;
    std::map<std::string, std::vector<Run>> m_runs;
};

// Initializes with the sides taking turns, makes the data (outside every measurement), and runs
// every benchmark into `reporter`. False on an argument it does not know.
inline bool RunTakingTurns(int argc, char** argv, const std::function<void()>& prepare,
                           MedianReporter& reporter) {
    if (!InitializeTakingTurns(argc, argv))
        return false;
    prepare();
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return true;
}

}  // namespace bench
