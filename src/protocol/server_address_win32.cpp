#include "protocol/server_address.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cctype>
#include <cstdlib>
#include <string>

#include "corelib/xnetwork.h"

namespace protocol {

namespace {

ULONG ResolveHost(const std::string& host) {
    // inet_addr takes the same forms as inet_aton on Linux; its one ambiguous answer,
    // 255.255.255.255, is refused below anyway.
    const ULONG parsed = ::inet_addr(host.c_str());
    if (parsed != INADDR_NONE)
        return parsed;
    if (host.empty() || host == "255.255.255.255")
        return INADDR_NONE;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return INADDR_NONE;
    const ULONG address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(found);
    return address;
}

// Winsock keeps the looked-up entry per thread, so reading it at once is safe.
}  // namespace

sockaddr_in ResolveServerAddress(std::string_view treeServer) {
    const corelib::xnetwork network;
    const size_t colon = treeServer.find(':');
    const bool hasColon = colon != std::string_view::npos;
    const std::string host(hasColon ? treeServer.substr(0, colon) : std::string_view());
    const std::string port(hasColon ? treeServer.substr(colon + 1) : std::string_view());

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ResolveHost(host);
    address.sin_port = htons(ReadPortText(port));
    return address;
}

}  // namespace protocol
