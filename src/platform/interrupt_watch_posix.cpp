#include "platform/interrupt_watch.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <system_error>
#include <thread>

namespace platform {
namespace {

// A signal handler reaches nothing but globals: the write end of the one watch's pipe.
std::atomic<int> g_writeEnd{-1};

void OnSignal(int signal) {
    const int saved = errno;
    const int fd = g_writeEnd.load();
    const char byte = static_cast<char>(signal);
    if (fd != -1) [[maybe_unused]]
        const ssize_t n = ::write(fd, &byte, 1);
    errno = saved;
}

constexpr char kStopWatching = 0;

}  // namespace

struct InterruptWatch::State {
    int readEnd = -1;
    int writeEnd = -1;
    struct sigaction formerInt {};
    struct sigaction formerTerm {};
    std::thread thread;
};

InterruptWatch::InterruptWatch(Handler handler) : m_state(std::make_unique<State>()) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe2");
    m_state->readEnd = ends[0];
    m_state->writeEnd = ends[1];
    m_state->thread = std::thread([readEnd = ends[0], handler = std::move(handler)] {
        char byte = kStopWatching;
        for (;;) {
            const ssize_t got = ::read(readEnd, &byte, 1);
            if (got < 0 && errno == EINTR)
                continue;
            if (got != 1 || byte == kStopWatching)
                return;
            handler(byte);
        }
    });
    g_writeEnd = ends[1];
    struct sigaction action {};
    action.sa_handler = OnSignal;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &m_state->formerInt);
    ::sigaction(SIGTERM, &action, &m_state->formerTerm);
}

InterruptWatch::~InterruptWatch() {
    ::sigaction(SIGINT, &m_state->formerInt, nullptr);
    ::sigaction(SIGTERM, &m_state->formerTerm, nullptr);
    g_writeEnd = -1;
    const char stop = kStopWatching;
    while (::write(m_state->writeEnd, &stop, 1) < 0 && errno == EINTR) {
    }
    m_state->thread.join();
    ::close(m_state->readEnd);
    ::close(m_state->writeEnd);
}

}  // namespace platform
