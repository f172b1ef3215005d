// The progress line of a command-line pass: its figures, drawn over on a terminal, a plain line
// every few seconds elsewhere.

#include "headless/progress_printer.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

namespace {

using headless::CProgressPrinter;
using namespace std::chrono_literals;

// What a printer wrote into memory.
struct Captured final {
    ~Captured() {
        std::fclose(file);
        std::free(data);
    }
    std::string Text() {
        std::fflush(file);
        return {data, size};
    }
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* file = ::open_memstream(&data, &size);
};

// The rate and the time left look back over the last five seconds only, so that a check that
// ran fast does not make the fetch after it look fast.
TEST(ProgressPrinter, RateAndTimeLeftFollowTheLastSeconds) {
    Captured out;
    const CProgressPrinter::Clock::time_point t0{};
    {
        CProgressPrinter printer(out.file, true, "repair", true);
        printer.Show(0.0, 0, t0 + 1s);
        printer.Show(0.5, 0, t0 + 2s);  // checked half in a second
        printer.Show(0.6, 2 << 20, t0 + 8s);
        printer.Show(0.7, 4 << 20, t0 + 14s);
    }
    EXPECT_EQ(out.Text(),
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
    Captured out;
    const CProgressPrinter::Clock::time_point t0{};
    {
        CProgressPrinter printer(out.file, false, "verify", false);
        printer.Show(0.0, 0, t0 + 1s);
        printer.Show(0.2, 0, t0 + 3s);
        printer.Show(0.3, 0, t0 + 6s);
        printer.Show(0.4, 0, t0 + 7s);
        printer.Show(0.55, 0, t0 + 11s);
    }
    EXPECT_EQ(out.Text(), "verify:  30%  0:12 left\nverify:  55%  0:09 left\n");
    EXPECT_EQ(headless::FormatDuration(3723s), "1:02:03");
    EXPECT_EQ(headless::FormatDuration(59s), "0:59");
}

}  // namespace
