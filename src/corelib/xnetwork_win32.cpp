#include "corelib/xnetwork.h"

#include <winsock2.h>

#include "corelib/xexception.h"

namespace corelib {

xnetwork::xnetwork() {
    WSADATA data{};
    const int error = ::WSAStartup(MAKEWORD(2, 2), &data);
    if (error != 0)
        throw xcritical("%s:%d WSAStartup failed(error=%d)", QUEND_HERE, error);
}

xnetwork::~xnetwork() {
    ::WSACleanup();
}

}  // namespace corelib
