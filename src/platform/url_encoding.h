#pragma once
// Percent-encoding where texts meet URLs: a whole URL made sendable, one value put into a query,
// and a request's path or query decoded by a server. Pure functions: any thread.

#include <string>
#include <string_view>

namespace platform {

// Percent-encodes, after the scheme and host, every byte a URL cannot carry: controls, space,
// bytes from 0x7F up, `"` `<` `>` `\` `^` `` ` `` `{` `|` `}` and a `%` that starts no %XX escape.
// Everything else, existing escapes and the query's separators included, is kept as it is.
std::string EncodeUrlPath(std::string_view url);

// Every byte but the RFC 3986 unreserved characters (letters, digits, "-._~") as %XX, so that a
// typed text cannot add or change a parameter.
std::string EncodeUrlValue(std::string_view value);

// %XX becomes its byte (a malformed escape stays as written); with `plusIsBlank`, as in form
// data, "+" becomes a blank.
std::string PercentDecode(std::string_view text, bool plusIsBlank = false);

}  // namespace platform
