#pragma once
// Turns the configured launcher-server address ("host:port") into an IPv4 socket address, with
// the rules of the original resolver. Any thread; name lookups block.

#include <netinet/in.h>

#include <string_view>

namespace protocol {

// The host is the text before the first ":" (empty when there is none): a dotted address, or a
// name resolved to its first IPv4 address; an unresolved name, and the literal
// "255.255.255.255", give 255.255.255.255. The port text after the ":" is read as atoi reads it
// and kept to 16 bits; a negative number gives 0, and so does a service name.
sockaddr_in ResolveServerAddress(std::string_view treeServer);

}  // namespace protocol
