// Arbitrary account-service replies through the rules the login reads them with: the first
// line, searches from every position the login uses, and the success-line fields.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "account/reply_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const account::CReplyLine line = account::CReplyLine::FromBody(body);
    if (line.Text().size() > body.size() || line.Text().find('\n') != std::string::npos)
        __builtin_trap();
    for (const char* marker : {"succeed|", "error|", "userName|", "OTP|", "|"}) {
        const int p = line.Search(marker);
        if (p >= 0 && line.Text().compare(static_cast<std::size_t>(p),
                                          std::string_view(marker).size(), marker) != 0)
            __builtin_trap();
        (void)line.Part(p + 7);
        (void)line.Part(p, p + 3);
        const account::LoginCredentials credentials = line.Credentials(p);
        if (credentials.userId.size() > line.Text().size() ||
            credentials.userKey.size() > line.Text().size())
            __builtin_trap();
    }
    return 0;
}
