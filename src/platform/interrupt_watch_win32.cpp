#include "platform/interrupt_watch.h"

#include <windows.h>

#include <mutex>

namespace platform {
namespace {

// The console calls its control handlers on a thread of its own and reaches nothing but globals:
// the one watch's handler, under its lock.
std::mutex g_mutex;
InterruptWatch::Handler* g_handler = nullptr;

BOOL WINAPI OnControl(DWORD event) {
    const int signal = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? 2 : 15;
    std::lock_guard lock(g_mutex);
    if (g_handler == nullptr)
        return FALSE;
    (*g_handler)(signal);
    return TRUE;
}

}  // namespace

struct InterruptWatch::State {
    Handler handler;
};

InterruptWatch::InterruptWatch(Handler handler) : m_state(std::make_unique<State>()) {
    m_state->handler = std::move(handler);
    {
        std::lock_guard lock(g_mutex);
        g_handler = &m_state->handler;
    }
    ::SetConsoleCtrlHandler(OnControl, TRUE);
}

InterruptWatch::~InterruptWatch() {
    ::SetConsoleCtrlHandler(OnControl, FALSE);
    std::lock_guard lock(g_mutex);
    g_handler = nullptr;
}

}  // namespace platform
