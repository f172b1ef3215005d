#pragma once
// The Windows edition's single-instance lock: a named mutex, named after the program file. While
// a process holds it, a later start under the same name finds it and gives up. GUI thread only.

#include <windows.h>

#include <memory>
#include <string>

#include "frontend/instance_lock.h"

namespace win32app {

class CInstanceMutex final : public frontend::InstanceLock {
public:
    explicit CInstanceMutex(HANDLE mutex) : m_hMutex(mutex) {}
    ~CInstanceMutex() override;
    CInstanceMutex(const CInstanceMutex&) = delete;
    CInstanceMutex& operator=(const CInstanceMutex&) = delete;

    // False when another process holds the mutex named `name` (UTF-8). True otherwise, with
    // `lock` holding it, or left null when the system made no mutex at all, which does not stop
    // a start.
    static bool Acquire(const std::string& name, std::unique_ptr<CInstanceMutex>& lock);

private:
    HANDLE m_hMutex;
};

}  // namespace win32app
