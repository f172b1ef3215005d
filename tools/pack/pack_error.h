#pragma once
// PackError: a publishing step that cannot be done; its text names the file concerned and is
// shown to the publisher as it stands. Thrown and caught on the tool's one thread.

#include <stdexcept>

namespace pack {

class PackError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace pack
