// CMD5 against OpenSSL's MD5 on the same 256 MiB, once from memory and once from a file read
// through the page cache. Ends with our throughput as a ratio of OpenSSL's for each case.

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "bench_support.h"
#include "patch/md5.h"

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

std::string opensslString(const std::string& bytes) {
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

BENCHMARK(BM_GetStringMD5)->Unit(benchmark::kMillisecond)->Repetitions(5)->Iterations(2);
BENCHMARK(BM_OpenSslStringMD5)->Unit(benchmark::kMillisecond)->Repetitions(5)->Iterations(2);
BENCHMARK(BM_GetFileMD5)->Unit(benchmark::kMillisecond)->Repetitions(5)->Iterations(2);
BENCHMARK(BM_OpenSslFileMD5)->Unit(benchmark::kMillisecond)->Repetitions(5)->Iterations(2);

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
    return 0;
}
