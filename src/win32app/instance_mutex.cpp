#include "win32app/instance_mutex.h"

#include "platform/utf16.h"

namespace win32app {

CInstanceMutex::~CInstanceMutex() {
    ::CloseHandle(m_hMutex);
}

bool CInstanceMutex::Acquire(const std::string& name, std::unique_ptr<CInstanceMutex>& lock) {
    const HANDLE mutex = ::CreateMutexW(nullptr, FALSE, platform::Utf8ToWide(name).c_str());
    if (mutex == nullptr)
        return true;
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        return false;
    }
    lock = std::make_unique<CInstanceMutex>(mutex);
    return true;
}

}  // namespace win32app
