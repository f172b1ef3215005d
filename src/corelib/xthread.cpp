#include "corelib/xthread.h"

#include <system_error>
#include <utility>

#include "corelib/xexception.h"
#include "corelib/xtrace.h"

namespace corelib {

xthread::~xthread() {
    release();
}

bool xthread::start() {
    std::thread finished;
    {
        std::lock_guard lock(m_mutex);
        if (m_thread.joinable()) {
            if (m_running)
                throw xwarning("%s:%d thread instance exists", QUEND_HERE);
            finished = std::move(m_thread);
        }
    }
    if (finished.joinable())
        finished.join();  // it has left run() already

    std::lock_guard lock(m_mutex);
    m_running = true;
    try {
        m_thread = std::thread(&xthread::thread_procedure, this);
    } catch (const std::system_error& e) {
        m_running = false;
        throw xcritical("%s:%d pthread_create failed(errno=%d)", QUEND_HERE, e.code().value());
    }
    return true;
}

bool xthread::has_thread() const {
    std::lock_guard lock(m_mutex);
    return m_thread.joinable();
}

void xthread::release() {
    std::thread held;
    {
        std::lock_guard lock(m_mutex);
        held = std::move(m_thread);
    }
    if (!held.joinable())
        return;
    if (held.get_id() == std::this_thread::get_id())
        held.detach();
    else
        held.join();
}

void xthread::thread_procedure(xthread* self) {
    try {
        self->run();
    } catch (const std::exception& e) {
        // Nothing above this frame could handle it; it ends the thread, not the process.
        print_trace(trace_sink(), "thread ended by exception: %s", e.what());
    }
    self->m_running = false;
}

}  // namespace corelib
