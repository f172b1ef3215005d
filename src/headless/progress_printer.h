#pragma once
// The progress of a command-line pass on standard error: on a terminal one line drawn over and
// over (a bar, the bytes fetched, the rate and the time left); into a file or a pipe a plain line
// every few seconds, so that logs stay short. The rate and the time left come from the last few
// seconds, so that they follow the pass from checking into fetching. Main thread only.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>

namespace headless {

class CProgressPrinter final {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kLineEvery{5};

    // `what` names the pass ("verify", "repair"); `bytes`: show what was fetched.
    CProgressPrinter(std::FILE* out, bool terminal, std::string what, bool bytes);
    // Ends a drawn line.
    ~CProgressPrinter();
    CProgressPrinter(const CProgressPrinter&) = delete;
    CProgressPrinter& operator=(const CProgressPrinter&) = delete;

    // The pass at `now`: `fraction` of it done (0 to 1), `fetched` bytes received so far.
    void Show(double fraction, std::uint64_t fetched, Clock::time_point now);
    // Ends the drawn line, so that what is written next starts on a line of its own.
    void Close();

private:
    struct Sample {
        Clock::time_point at;
        double fraction = 0;
        std::uint64_t fetched = 0;
    };

    std::string Figures(const Sample& now) const;

    std::FILE* m_out;
    bool m_terminal;
    std::string m_what;
    bool m_bytes;
    std::deque<Sample> m_samples;  // the last few seconds, oldest first
    std::size_t m_drawn = 0;       // characters of the line on the terminal
    bool m_open = false;           // a drawn line waits for its line end
    Clock::time_point m_lastLine{};
};

// "0:07", "12:34", "1:02:03"
std::string FormatDuration(std::chrono::seconds duration);

}  // namespace headless
