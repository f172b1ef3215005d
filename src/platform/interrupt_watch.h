#pragma once
// Hears the user's request to stop a program that runs in a terminal (Ctrl-C, SIGINT and SIGTERM;
// on Windows the console's Ctrl-C, Ctrl-Break and close) and hands it to a function on a thread of
// its own, where it may lock and notify as a signal handler may not. One watch per process at a
// time; construct and destroy it on one thread.

#include <functional>
#include <memory>

namespace platform {

class InterruptWatch final {
public:
    // Given 2 for an interrupt (SIGINT, Ctrl-C, Ctrl-Break) and 15 for a request to end (SIGTERM,
    // the console closing). Runs on the watch's thread, one call at a time.
    using Handler = std::function<void(int signal)>;

    // Takes over the signals' handling until it is destroyed; the handler is called for every
    // request, the first included.
    explicit InterruptWatch(Handler handler);
    // Gives the signals their former handling back; no call of the handler runs afterwards.
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace platform
