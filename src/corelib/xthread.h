#pragma once
// A worker thread owned by an object: start() runs the object's run() on a new thread once at a
// time, and release() gives the thread back exactly once (joined, or detached when the thread
// releases itself). start() and release() belong to the owning thread; running() may be read
// anywhere. A derived class must stop and release its thread in its own destructor, before its
// members go: the base destructor can only join.

#include <atomic>
#include <mutex>
#include <thread>

namespace corelib {

class xthread {
public:
    virtual ~xthread();
    xthread(const xthread&) = delete;
    xthread& operator=(const xthread&) = delete;

    // Raises xwarning "thread instance exists" while a started thread still runs, xcritical when
    // no thread can be made. A thread that has already ended is reaped first.
    virtual bool start();

    // True from start() until run() has returned.
    bool running() const { return m_running.load(); }
    // True while a thread is held that release() has not yet given back.
    bool has_thread() const;

    // Waits for the thread to end and gives it back; from the thread itself it detaches instead.
    // Does nothing when no thread is held.
    void release();

protected:
    xthread() = default;
    virtual void run() = 0;

private:
    static void thread_procedure(xthread* self);

    mutable std::mutex m_mutex;  // guards m_thread against a concurrent start and release
    std::thread m_thread;
    std::atomic<bool> m_running{false};
};

}  // namespace corelib
