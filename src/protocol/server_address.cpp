#include "protocol/server_address.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace protocol {

std::uint16_t ReadPortText(const std::string& text) {
    const long long read = std::strtoll(text.c_str(), nullptr, 10);
    const int number = static_cast<int>(std::clamp<long long>(read, std::numeric_limits<int>::min(),
                                                              std::numeric_limits<int>::max()));
    return number < 0 ? 0 : static_cast<std::uint16_t>(number);
}

}  // namespace protocol
