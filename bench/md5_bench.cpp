// CMD5 against OpenSSL's MD5 on the same 256 MiB, once from memory and once from a file read
// through the page cache; and CMd5Lanes digesting the 256 MiB as one stream per lane against
// OpenSSL digesting the same streams one after another. Ends with our throughput as a ratio of
// OpenSSL's for each case.

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "bench_support.h"
#include "patch/md5.h"
#include "patch/md5_lanes.h"

namespace {

constexpr std::size_t kDataSize = std::size_t{256} << 20;
constexpr std::size_t kFileBlock = 0x50000;

// 256 MiB of random bytes in a temporary file, and the same bytes in memory; reading them
// leaves the file in the page cache.
class BenchData final {
public:
    BenchData() : m_bytes(kDataSize, '\0') {
        std::mt19937_64 random(1321);
        bench::WriteRandomFile(m_path, kDataSize, random);
        std::ifstream(m_path, std::ios::binary).read(m_bytes.data(), kDataSize);
    }

    const std::string& bytes() const { return m_bytes; }
    std::string path() const { return m_path.string(); }

private:
    bench::TempFolder m_folder{"md5-bench"};
    std::filesystem::path m_path = m_folder / "data";
    std::string m_bytes;
};

const BenchData& data() {
    static const BenchData instance;
    return instance;
}

std::string hex(const unsigned char* digest, unsigned size) {
    std::string text;
    for (unsigned i = 0; i < size; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        text += pair;
    }
    return text;
}

std::string opensslString(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_md5(), nullptr);
    return hex(digest, size);
}

// The same read loop as CMD5's, feeding OpenSSL instead.
std::string opensslFile(int fd) {
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                          EVP_MD_CTX_free);
    EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr);
    const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kFileBlock);
    for (ssize_t got; (got = read(fd, buffer.get(), kFileBlock)) != 0;) {
        if (got > 0) {
            EVP_DigestUpdate(context.get(), buffer.get(), static_cast<std::size_t>(got));
        }
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    EVP_DigestFinal_ex(context.get(), digest, &size);
    return hex(digest, size);
}

std::string digestFile(const std::string& path, bool ours) {
    platform::File file = platform::File::Open(path, platform::File::Mode::Read);
    return ours ? patch::CMD5().GetFileMD5(file) : opensslFile(static_cast<int>(file.Handle()));
}

void checkAgreement(benchmark::State& state, const std::string& ours, const std::string& theirs) {
    if (ours != theirs) {
        state.SkipWithError(("digests differ: " + ours + " vs " + theirs).c_str());
    }
}

void BM_GetStringMD5(benchmark::State& state) {
    const std::string& bytes = data().bytes();
    std::string digest;
    for (auto _ : state) {
        // The text is taken by value: hand over a copy made outside the timed part.
        state.PauseTiming();
        std::string copy = bytes;
        state.ResumeTiming();
        digest = patch::CMD5().GetStringMD5(std::move(copy));
    }
    checkAgreement(state, digest, opensslString(bytes));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void BM_OpenSslStringMD5(benchmark::State& state) {
    const std::string& bytes = data().bytes();
    for (auto _ : state) {
        benchmark::DoNotOptimize(opensslString(bytes));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void BM_GetFileMD5(benchmark::State& state) {
    std::string digest;
    for (auto _ : state) {
        digest = digestFile(data().path(), true);
    }
    checkAgreement(state, digest, digestFile(data().path(), false));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kDataSize));
}

void BM_OpenSslFileMD5(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(digestFile(data().path(), false));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kDataSize));
}

// The 256 MiB cut into one stream per lane, as the check pass digests many files at once.
std::vector<std::string> lanesDigests(patch::CMd5Lanes& lanes) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data().bytes().data());
    const std::size_t share = kDataSize / lanes.Lanes();
    std::vector<const unsigned char*> next;
    for (std::size_t lane = 0; lane < lanes.Lanes(); ++lane) {
        lanes.Reset(lane);
        next.push_back(bytes + lane * share);
    }
    constexpr std::size_t kBlocks = 1024;
    for (std::size_t done = 0; done + kBlocks * 64 <= share; done += kBlocks * 64) {
        lanes.Compress(next.data(), kBlocks);
        for (const unsigned char*& at : next)
            at += kBlocks * 64;
    }
    std::vector<std::string> digests;
    for (std::size_t lane = 0; lane < lanes.Lanes(); ++lane)
        digests.push_back(lanes.Finish(lane, next[lane], bytes + (lane + 1) * share - next[lane]));
    return digests;
}

std::vector<std::string> opensslStreams(std::size_t streams) {
    const std::string_view bytes = data().bytes();
    const std::size_t share = kDataSize / streams;
    std::vector<std::string> digests;
    for (std::size_t i = 0; i < streams; ++i)
        digests.push_back(opensslString(bytes.substr(i * share, share)));
    return digests;
}

void BM_Md5Lanes(benchmark::State& state) {
    patch::CMd5Lanes lanes;
    std::vector<std::string> digests;
    for (auto _ : state) {
        digests = lanesDigests(lanes);
    }
    if (digests != opensslStreams(lanes.Lanes()))
        state.SkipWithError("a lane's digest differs from OpenSSL's");
    state.counters["lanes"] = static_cast<double>(lanes.Lanes());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kDataSize));
}

void BM_OpenSslStreamsMD5(benchmark::State& state) {
    const std::size_t streams = patch::CMd5Lanes().Lanes();
    for (auto _ : state) {
        benchmark::DoNotOptimize(opensslStreams(streams));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kDataSize));
}

BENCHMARK(BM_GetStringMD5)->Unit(benchmark::kMillisecond)->Repetitions(5)->Iterations(2);
BENCHMARK(BM_OpenSslStringMD5)->Unit(benchmark::kMillisecond)->Repetitions(5)->Iterations(2);
BENCHMARK(BM_GetFileMD5)->Unit(benchmark::kMillisecond)->Repetitions(5)->Iterations(2);
BENCHMARK(BM_OpenSslFileMD5)->Unit(benchmark::kMillisecond)->Repetitions(5)->Iterations(2);
BENCHMARK(BM_Md5Lanes)->Unit(benchmark::kMillisecond)->Repetitions(5)->Iterations(2);
BENCHMARK(BM_OpenSslStreamsMD5)->Unit(benchmark::kMillisecond)->Repetitions(5)->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    bench::MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto mibPerSecond = [](const bench::MedianReporter::Run& run) {
        const auto rate = run.counters.find("bytes_per_second");
        return rate == run.counters.end() ? 0.0 : rate->second.value / (1024.0 * 1024.0);
    };
    reporter.PrintRatio("string", "BM_GetStringMD5", "CMD5", "BM_OpenSslStringMD5", "OpenSSL",
                        "MiB/s", mibPerSecond, nullptr);
    reporter.PrintRatio("file", "BM_GetFileMD5", "CMD5", "BM_OpenSslFileMD5", "OpenSSL", "MiB/s",
                        mibPerSecond, nullptr);
    reporter.PrintRatio("one stream per lane", "BM_Md5Lanes", "CMd5Lanes", "BM_OpenSslStreamsMD5",
                        "OpenSSL", "MiB/s", mibPerSecond, nullptr);
    return 0;
}
