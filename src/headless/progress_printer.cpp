#include "headless/progress_printer.h"

#include <algorithm>
#include <cmath>

#include "patch/update_result.h"

namespace headless {
namespace {

constexpr std::chrono::seconds kWindow{5};  // what the rate and the time left look back on
constexpr int kBarWidth = 24;

std::string Bar(double fraction) {
    const int full = static_cast<int>(fraction * kBarWidth);
    return "[" + std::string(full, '#') + std::string(kBarWidth - full, '.') + "]";
}

double Seconds(std::chrono::steady_clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

}  // namespace

std::string FormatDuration(std::chrono::seconds duration) {
    const long long total = std::max<long long>(0, duration.count());
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60,
                      total % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
    return text;
}

CProgressPrinter::CProgressPrinter(std::FILE* out, bool terminal, std::string what, bool bytes)
    : m_out(out), m_terminal(terminal), m_what(std::move(what)), m_bytes(bytes) {}

CProgressPrinter::~CProgressPrinter() {
    Close();
}

void CProgressPrinter::Show(double fraction, std::uint64_t fetched, Clock::time_point now) {
    fraction = std::clamp(fraction, 0.0, 1.0);
    m_samples.push_back({now, fraction, fetched});
    while (m_samples.size() > 2 && now - m_samples[1].at >= kWindow)
        m_samples.pop_front();
    if (m_terminal) {
        std::string line = m_what + " " + Bar(fraction) + " " + Figures(m_samples.back());
        const std::size_t length = line.size();
        if (length < m_drawn)
            line.append(m_drawn - length, ' ');  // what a longer line before left behind
        std::fprintf(m_out, "\r%s", line.c_str());
        std::fflush(m_out);
        m_drawn = length;
        m_open = true;
        return;
    }
    if (m_lastLine != Clock::time_point{} && now - m_lastLine < kLineEvery)
        return;
    if (m_lastLine == Clock::time_point{}) {
        m_lastLine = now;  // the first line after one interval, when there is something to say
        return;
    }
    std::fprintf(m_out, "%s: %s\n", m_what.c_str(), Figures(m_samples.back()).c_str());
    std::fflush(m_out);
    m_lastLine = now;
}

// "52%  12.3 MB  3.4 MB/s  0:41 left"; the time left is "?" until the figure has moved.
std::string CProgressPrinter::Figures(const Sample& now) const {
    const Sample& then = m_samples.front();
    const double elapsed = Seconds(now.at - then.at);
    char percent[16];
    std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(now.fraction * 100));
    std::string text = percent;
    if (m_bytes) {
        const double rate = elapsed > 0 ? (now.fetched - then.fetched) / elapsed : 0;
        text += "  " + patch::FormatByteSize(now.fetched) + "  " +
                patch::FormatByteSize(static_cast<std::uint64_t>(rate)) + "/s";
    }
    const double moved = now.fraction - then.fraction;
    if (now.fraction >= 1) {
        text += "  0:00 left";
    } else if (moved > 0 && elapsed > 0) {
        const double left = (1 - now.fraction) * elapsed / moved;
        text += "  " + FormatDuration(std::chrono::seconds(std::llround(left))) + " left";
    } else {
        text += "  ? left";
    }
    return text;
}

void CProgressPrinter::Close() {
    if (!m_open)
        return;
    std::fputc('\n', m_out);
    std::fflush(m_out);
    m_open = false;
}

}  // namespace headless
