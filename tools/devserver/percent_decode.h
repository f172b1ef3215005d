#pragma once
// Percent-decoding of request targets and query texts, shared by the HTTP roles. Any thread.

#include <string>
#include <string_view>

namespace devserver {

// %XX becomes its byte (a malformed escape stays as written); with `plusIsBlank`, as in form
// data, "+" becomes a blank.
std::string PercentDecode(std::string_view text, bool plusIsBlank = false);

}  // namespace devserver
