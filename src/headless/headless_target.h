#pragma once
// Where the update engine and the server connection post during a command-line run, in place of
// a window: it keeps the figures the progress line shows and wakes the main thread for the
// events it waits for (the server lists, a lost connection, the end of a pass, Ctrl-C). Post and
// Interrupt from any thread; the rest from the main thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/message_target.h"

namespace headless {

class CHeadlessTarget final : public platform::MessageTarget {
public:
    struct Figures {
        std::intptr_t done = 0;     // of the overall bar, 0 to its range
        std::intptr_t range = 0;    // 0 until the pass posts its first figure
        std::uint64_t fetched = 0;  // body bytes received since ResetFigures
        bool listsIn = false;       // the server sent the server groups, after the games
        bool connectionLost = false;
        bool passDone = false;
        int signal = 0;  // of the first request to stop; 0 while there is none
    };

    void Post(platform::PostedMessage message) override;
    // The user asked to stop (the signal's number).
    void Interrupt(int signal);

    // A new pass: the bar and the byte count start again.
    void ResetFigures();
    // Waits until an event arrives or `timeout` passes; the figures then.
    Figures Wait(std::chrono::milliseconds timeout);
    Figures Now() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_event;
    Figures m_figures;
    unsigned m_events = 0;  // counts the events that wake the main thread
};

}  // namespace headless
