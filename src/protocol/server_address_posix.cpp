#include "protocol/server_address.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

namespace protocol {

namespace {

in_addr_t ResolveHost(const std::string& host) {
    in_addr parsed{};
    // inet_aton accepts the same forms as inet_addr, without its -1 ambiguity.
    if (::inet_aton(host.c_str(), &parsed) != 0)
        return parsed.s_addr;
    if (host.empty() || host == "255.255.255.255")
        return INADDR_NONE;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return INADDR_NONE;
    const in_addr_t address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(found);
    return address;
}

}  // namespace

sockaddr_in ResolveServerAddress(std::string_view treeServer) {
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
