#pragma once
// A self-pipe that a waiting loop polls beside its socket, so another thread can wake the wait
// without touching the socket. Signal() may be called from any thread; Drain() by the owner when
// no loop waits on it.

namespace protocol {

class WakePipe final {
public:
    WakePipe();  // raises std::system_error when no pipe can be made
    ~WakePipe();
    WakePipe(const WakePipe&) = delete;
    WakePipe& operator=(const WakePipe&) = delete;

    // The end to poll for reading; readable once signalled, until drained.
    int ReadHandle() const { return m_read; }

    void Signal();
    void Drain();

private:
    int m_read = -1;
    int m_write = -1;
};

}  // namespace protocol
