#pragma once
// The three request URLs of the account service. Values are percent-encoded so that no typed
// text can add or change a parameter; the domain goes in unchanged (it may carry a port or a path
// prefix). Pure functions; any thread.

#include <string>
#include <string_view>

namespace account {

// "http://" domain "/account/gameLogin?accName=" user "&password=" digest.
std::string MakeLoginUrl(std::string_view domain, std::string_view userName,
                         std::string_view passwordDigest);
// "http://" domain "/account/secondLogin?code=" code.
std::string MakeSecondLoginUrl(std::string_view domain, std::string_view code);
// "http://" domain "/account/getSmsCode?mobile=" mobile "&type=verify".
std::string MakeSmsCodeUrl(std::string_view domain, std::string_view mobile);

}  // namespace account
