#pragma once
// Turns the configured launcher-server address ("host:port") into an IPv4 socket address, with
// the rules of the original resolver. Any thread; name lookups block.

#include <cstdint>
#include <string>
#include <string_view>

struct sockaddr_in;  // <netinet/in.h>, or <winsock2.h> on Windows

namespace protocol {

// The host is the text before the first ":" (empty when there is none): a dotted address, or a
// name resolved to its first IPv4 address; an unresolved name, and the literal
// "255.255.255.255", give 255.255.255.255. The port text after the ":" is read as atoi reads it
// and kept to 16 bits; a negative number gives 0, and so does a service name.
sockaddr_in ResolveServerAddress(std::string_view treeServer);

// The port text as atoi reads it (blanks, one sign, leading digits, 0 when there are none), held
// to the range of int; then through its decimal text: a number keeps its low 16 bits, and the text
// of a negative one is no number and names no port. Names of services are not looked up.
std::uint16_t ReadPortText(const std::string& text);

}  // namespace protocol
