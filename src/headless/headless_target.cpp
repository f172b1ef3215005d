#include "headless/headless_target.h"

#include "platform/window_messages.h"

namespace headless {

void CHeadlessTarget::Post(platform::PostedMessage message) {
    bool event = true;
    {
        std::lock_guard lock(m_mutex);
        switch (message.id) {
            case platform::WM_TOTAL_PROGRESS:
                m_figures.done = message.wParam;
                m_figures.range = message.lParam;
                event = false;
                break;
            case platform::WM_DOWN_PROGRESS:
                m_figures.fetched += static_cast<std::uint64_t>(message.wParam);
                event = false;
                break;
            case platform::WM_UPDATE_DONE:
                m_figures.passDone = true;
                break;
            case platform::WM_SERVER_NOTIFY:
                m_figures.listsIn = true;
                break;
            case platform::WM_SERVER_MSG:
                m_figures.connectionLost = true;
                break;
            default:
                event = false;  // the window's status line and per-file bar have no place here
                break;
        }
        m_events += event ? 1 : 0;
    }
    if (event)
        m_event.notify_all();
}

void CHeadlessTarget::Interrupt(int signal) {
    {
        std::lock_guard lock(m_mutex);
        if (m_figures.signal == 0)
            m_figures.signal = signal;
        ++m_events;
    }
    m_event.notify_all();
}

void CHeadlessTarget::ResetFigures() {
    std::lock_guard lock(m_mutex);
    m_figures.done = 0;
    m_figures.range = 0;
    m_figures.fetched = 0;
    m_figures.passDone = false;
}

CHeadlessTarget::Figures CHeadlessTarget::Wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    const unsigned seen = m_events;
    m_event.wait_for(lock, timeout, [&] { return m_events != seen; });
    return m_figures;
}

CHeadlessTarget::Figures CHeadlessTarget::Now() const {
    std::lock_guard lock(m_mutex);
    return m_figures;
}

}  // namespace headless
