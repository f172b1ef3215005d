// The progress line of a command-line pass: its figures, drawn over on a terminal, a plain line
// every few seconds elsewhere.

#include "headless/progress_printer.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

namespace {

using headless::CProgressPrinter;
using namespace std::chrono_literals;

// What a printer wrote, into memory, as it showed each (fraction, bytes fetched, second) in turn.
std::string Printed(bool terminal, const char* what, bool bytes,
                    std::initializer_list<std::tuple<double, std::uint64_t, int>> shows) {
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* file = ::open_memstream(&data, &size);
    {
        CProgressPrinter printer(file, terminal, what, bytes);
        for (const auto& [fraction, fetched, second] : shows)
            printer.Show(fraction, fetched, CProgressPrinter::Clock::time_point{} + 1s * second);
    }
    std::fclose(file);
    const std::string text(data, size);
    std::free(data);
    return text;
}

// The rate and the time left look back over the last five seconds only, so that a check that
// ran fast does not make the fetch after it look fast (here half checked in a second).
TEST(ProgressPrinter, RateAndTimeLeftFollowTheLastSeconds) {
    EXPECT_EQ(Printed(true, "repair", true,
                      {{0.0, 0, 1}, {0.5, 0, 2}, {0.6, 2 << 20, 8}, {0.7, 4 << 20, 14}}),
              "\rrepair [........................]   0%  0 KB  0 KB/s  ? left"
              "\rrepair [############............]  50%  0 KB  0 KB/s  0:01 left"
              // since 2 s (the sample at 1 s is more than five seconds old): 2 MB in 6 s, and
              // 0.1 of the pass, so 0.4 takes 24 s
              "\rrepair [##############..........]  60%  2.0 MB  342 KB/s  0:24 left"
              // since 8 s
              "\rrepair [################........]  70%  4.0 MB  342 KB/s  0:18 left\n");
}

// Into a file: nothing before the first interval, then a line at most every five seconds; the
// verify's figures without bytes. Durations as minutes and hours.
TEST(ProgressPrinter, PlainLinesEveryFewSeconds) {
    EXPECT_EQ(Printed(false, "verify", false,
                      {{0.0, 0, 1}, {0.2, 0, 3}, {0.3, 0, 6}, {0.4, 0, 7}, {0.55, 0, 11}}),
              "verify:  30%  0:12 left\nverify:  55%  0:09 left\n");
    EXPECT_EQ(headless::FormatDuration(3723s), "1:02:03");
    EXPECT_EQ(headless::FormatDuration(59s), "0:59");
}

}  // namespace
