// A check pass as the launcher runs it (the list loaded, every listed file compared on the
// engine's pool of digest threads, until WM_UPDATE_DONE) over 2,000 current files totalling
// 1 GiB, against `md5sum -c` over the same files, both from a warm page cache. Ends with our time
// as a ratio of md5sum's.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_owner.h"
#include "bench_support.h"
#include "pack/checksum_writer.h"
#include "patch/checksum_list.h"
#include "patch/file_verifier.h"
#include "patch/update_manager.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 2000;
constexpr int kFolders = 20;
constexpr std::uint64_t kTotalBytes = std::uint64_t{1} << 30;

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

// The game folder with its files, our checksum list of it and md5sum's list of the same files,
// made once in a temporary folder and removed at exit.
class CheckData final {
public:
    CheckData() {
        std::mt19937_64 random(4242);
        const std::vector<std::uint64_t> sizes = FileSizes(random);
        for (int i = 0; i < kFiles; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "Data%02d/file%04d.pak", i % kFolders, i);
            fs::create_directories((Game() / name).parent_path());
            bench::WriteRandomFile(Game() / name, sizes[static_cast<std::size_t>(i)], random);
        }
        std::fprintf(stderr, "listing %d files of %llu MiB in %s\n", kFiles,
                     static_cast<unsigned long long>(kTotalBytes >> 20), m_root.path().c_str());
        WriteLists(pack::CChecksumWriter(Game(), m_root.path()).Collect());
        // Written back once, so that neither side meets the flusher; then in the page cache.
        ::sync();
        for (const auto& item : fs::recursive_directory_iterator(Game()))
            bench::WarmPageCache(item.path());
    }

    fs::path Game() const { return m_root / "game"; }
    std::string List() const { return (m_root / "checksum_all.md5").string(); }
    std::string Md5sumList() const { return (m_root / "md5sum.txt").string(); }

private:
    void WriteLists(const std::vector<patch::_filelist>& entries) {
        std::ofstream list(List(), std::ios::binary);
        std::ofstream md5sum(Md5sumList(), std::ios::binary);
        for (const patch::_filelist& entry : entries) {
            list << patch::FormatChecksumLine(entry);
            std::string path = entry.fileName;  // plain ASCII names: only the separators differ
            std::replace(path.begin(), path.end(), '\\', '/');
            md5sum << entry.md5 << "  " << (Game() / path).string() << "\n";
        }
        if (entries.size() != kFiles || !list.flush() || !md5sum.flush())
            throw std::runtime_error("cannot write the lists");
    }

    bench::TempFolder m_root{"check-bench"};
};

const CheckData& Data() {
    static const CheckData data;
    return data;
}

void BM_CheckPass(benchmark::State& state) {
    const CheckData& data = Data();
    BenchUpdateOwner owner(data.Game().string() + "/", "http://127.0.0.1:9");
    patch::CMyUpdateManager manager(owner, "QuendBench");
    manager.StartDownloadThread();
    for (auto _ : state) {
        manager.LoadChecksumList(data.List());
        if (!owner.WaitPassDone(std::chrono::minutes(5))) {
            state.SkipWithError("the check pass did not end");
            break;
        }
        const patch::UpdateResult result = manager.LastResult();
        if (result.checkedFiles != kFiles || !result.differing.empty() || result.failedFiles != 0) {
            state.SkipWithError("a file was not found current");
            break;
        }
    }
    state.counters["threads"] = patch::CFileVerifier().Threads();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTotalBytes));
}

void BM_Md5sum(benchmark::State& state) {
    const CheckData& data = Data();
    for (auto _ : state) {
        if (bench::RunProgram({"md5sum", "--quiet", "-c", data.Md5sumList()}) != 0) {
            state.SkipWithError("md5sum -c failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTotalBytes));
}

BENCHMARK(BM_CheckPass)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_Md5sum)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    bench::MedianReporter reporter;
    if (!bench::RunTakingTurns(
            argc, argv, [] { Data(); }, reporter))
        return 1;
    reporter.PrintRatio(
        "check pass over " + std::to_string(kFiles) + " files, " +
            std::to_string(kTotalBytes >> 20) + " MiB",
        "BM_CheckPass", "ours", "BM_Md5sum", "md5sum -c", "ms",
        [](const bench::MedianReporter::Run& run) { return run.GetAdjustedRealTime(); },
        "time ratio at most 0.6");
    return 0;
}
