#include "account/account_urls.h"

namespace {

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

std::string ServiceUrl(std::string_view domain, std::string_view pathAndQuery) {
    std::string url = "http://";
    url += domain;
    url += pathAndQuery;
    return url;
}

}  // namespace

std::string EncodeUrlValue(std::string_view value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size() * 3);
    for (const char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c)) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

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
