#pragma once
// Turns the configured launcher-server address ("host:port") into an IPv4 socket address, with
// the rules of the original resolver. Any thread; name lookups block.

#include <string_view>

struct sockaddr_in;  // <netinet/in.h>, or <winsock2.h> on Windows

namespace protocol {

// The host is the text before the first ":" (empty when there is none): a dotted address, or a
// name resolved to its first IPv4 address; an unresolved name, and the literal
// "255.255.255.255", give 255.255.255.255. The port text after the ":" is read with atoi when it
// starts with a digit, else looked up as a TCP service name; 0 when that fails.
sockaddr_in ResolveServerAddress(std::string_view treeServer);

}  // namespace protocol
