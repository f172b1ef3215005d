#include "account/account_urls.h"

#include "platform/url_encoding.h"

namespace account {

namespace {

using platform::EncodeUrlValue;

std::string ServiceUrl(std::string_view domain, std::string_view pathAndQuery) {
    std::string url = "http://";
    url += domain;
    url += pathAndQuery;
    return url;
}

}  // namespace

std::string MakeLoginUrl(std::string_view domain, std::string_view userName,
                         std::string_view passwordDigest) {
    return ServiceUrl(domain, "/account/gameLogin?accName=" + EncodeUrlValue(userName) +
                                  "&password=" + EncodeUrlValue(passwordDigest));
}

std::string MakeSecondLoginUrl(std::string_view domain, std::string_view code) {
    return ServiceUrl(domain, "/account/secondLogin?code=" + EncodeUrlValue(code));
}

std::string MakeSmsCodeUrl(std::string_view domain, std::string_view mobile) {
    return ServiceUrl(domain,
                      "/account/getSmsCode?mobile=" + EncodeUrlValue(mobile) + "&type=verify");
}

}  // namespace account
