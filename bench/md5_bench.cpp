// CMD5 against OpenSSL's MD5 on the same 256 MiB, once from memory and once from a file read
// through the page cache. Ends with our throughput as a ratio of OpenSSL's for each case.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "patch/md5.h"

namespace {

constexpr std::size_t kDataSize = std::size_t{256} << 20;
constexpr std::size_t kFileBlock = 0x50000;

// 256 MiB of random bytes, and the same bytes in a temporary file kept in the page cache.
class BenchData final {
public:
    BenchData() : m_bytes(kDataSize, '\0') {
        std::mt19937_64 random(1321);
        for (std::size_t i = 0; i < m_bytes.size(); i += 8) {
            const std::uint64_t word = random();
            std::memcpy(m_bytes.data() + i, &word, 8);
        }
        std::string pattern =
            (std::filesystem::temp_directory_path() / "md5-bench-XXXXXX").string();
        const int fd = mkstemp(pattern.data());
        if (fd < 0) {
            throw std::runtime_error("mkstemp failed");
        }
        m_path = pattern;
        for (std::size_t done = 0; done < m_bytes.size();) {
            const ssize_t put = write(fd, m_bytes.data() + done, m_bytes.size() - done);
            if (put <= 0) {
                close(fd);
                throw std::runtime_error("cannot write the bench file");
            }
            done += static_cast<std::size_t>(put);
        }
        close(fd);
        warmFile();
    }
    ~BenchData() { std::filesystem::remove(m_path); }
    BenchData(const BenchData&) = delete;
    BenchData& operator=(const BenchData&) = delete;

    const std::string& bytes() const { return m_bytes; }
    const std::string& path() const { return m_path; }

private:
    void warmFile() const {
        const int fd = open(m_path.c_str(), O_RDONLY);
        std::vector<char> buffer(kFileBlock);
        while (read(fd, buffer.data(), buffer.size()) > 0) {
        }
        close(fd);
    }

    std::string m_bytes;
    std::string m_path;
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
    const int fd = open(path.c_str(), O_RDONLY);
    std::string digest = ours ? CMD5().GetFileMD5(fd) : opensslFile(fd);
    close(fd);
    return digest;
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
        digest = CMD5().GetStringMD5(std::move(copy));
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

// Prints as usual and keeps each benchmark's throughput: the median when there are
// repetitions, else the last run.
class RatioReporter final : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto rate = run.counters.find("bytes_per_second");
            if (run.error_occurred || rate == run.counters.end()) {
                continue;
            }
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (median || (run.run_type == Run::RT_Iteration && run.repetitions <= 1)) {
                m_rates[run.run_name.function_name] = rate->second.value;
            }
        }
    }

    void printRatio(const char* caseName, const std::string& ours, const std::string& theirs) {
        if (m_rates.count(ours) == 0 || m_rates.count(theirs) == 0) {
            return;
        }
        const double mib = 1024.0 * 1024.0;
        std::printf("%s: CMD5 %.0f MiB/s, OpenSSL %.0f MiB/s, ratio %.3f\n", caseName,
                    m_rates[ours] / mib, m_rates[theirs] / mib, m_rates[ours] / m_rates[theirs]);
    }

private:
    std::map<std::string, double> m_rates;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    reporter.printRatio("string", "BM_GetStringMD5", "BM_OpenSslStringMD5");
    reporter.printRatio("file", "BM_GetFileMD5", "BM_OpenSslFileMD5");
    return 0;
}
