#pragma once
// A held single-instance lock, as each edition makes one (a named mutex on Windows, a local
// server on Linux): the lock is released when the object goes. GUI thread only.

namespace frontend {

class InstanceLock {
public:
    virtual ~InstanceLock() = default;
};

}  // namespace frontend
