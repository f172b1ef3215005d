#pragma once
// The SMS code dialog as the login sees it: shown modally, it answers the code the player
// accepted or nothing when the player gave up. GUI thread only.

#include <optional>
#include <string>

namespace account {

class SmsCodePrompt {
public:
    virtual ~SmsCodePrompt() = default;

    // One modal display. The accepted code is six bytes of ANSI text; each display starts with
    // the code accepted before.
    virtual std::optional<std::string> Run() = 0;
};

}  // namespace account
