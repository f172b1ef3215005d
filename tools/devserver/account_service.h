#pragma once
// The account-service role of the development server: game login, the SMS second factor tied to
// the first request by a session cookie, and code requests whose codes go to the log instead of
// a phone. Replies are ANSI (GBK) lines like the real service's. Start, Stop and Port belong to
// one controlling thread; SetCannedReply may be called from any thread while it serves.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "devserver/http_listener.h"

namespace devserver {

class CAccountService final {
public:
    // Texts in UTF-8; the service compares and replies in the ANSI code page. The password is
    // the plain one: the launcher sends the MD5 digest of its ANSI bytes. An empty mobile text
    // means the account has no second factor; otherwise it is the text the login reply shows
    // (holding neither "succeed|" nor "error|") and the code request must send back. Query values
    // arrive percent-decoded, a "+" read as a blank.
    struct Account {
        std::string name;
        std::string password;
        std::string userId;
        std::string userKey;
        std::string mobile;
    };

    // A reply given instead of the service's own, for faults the real service may show.
    struct CannedReply {
        int status = 200;
        std::string body;
    };

    // Receives one line per request and one per code sent, from the serving threads, one call at
    // a time.
    using Logger = std::function<void(const std::string& line)>;

    // Codes per account and day (UTC) sent by SMS; later ones go by voice call.
    static constexpr int kDailySmsLimit = 5;
    static constexpr const char* kSessionCookie = "QSESSION";

    explicit CAccountService(std::vector<Account> accounts, Logger logger = {});
    CAccountService(const CAccountService&) = delete;
    CAccountService& operator=(const CAccountService&) = delete;

    // Binds `host`:`port` (0: any free port) and serves on a thread of its own until Stop.
    // False when the address cannot be bound or the service already ran.
    bool Start(std::uint16_t port = 0, const std::string& host = "127.0.0.1");
    // The bound port; 0 before Start.
    std::uint16_t Port() const { return m_http.Port(); }
    void Stop();

    // From now on answers GETs of `path` (e.g. "/account/secondLogin") with `reply`; nothing
    // gives the path back to the service.
    void SetCannedReply(const std::string& path, std::optional<CannedReply> reply);

private:
    using Query = std::map<std::string, std::string>;

    // One first login that waits for its code.
    struct Session {
        std::size_t account = 0;
        std::string code;
    };
    struct SmsCount {
        long day = 0;
        int count = 0;
    };

    void Serve(const httplib::Request& request, httplib::Response& response);
    std::string GameLogin(const Query& query, httplib::Response& response);
    std::string SecondLogin(const httplib::Request& request, const Query& query);
    std::string GetSmsCode(const httplib::Request& request, const Query& query);
    std::optional<std::size_t> FindAccount(const std::string& ansiName) const;
    std::string SuccessLine(std::size_t account) const;
    std::string NewSessionId();  // takes m_stateMutex
    std::string NewCode();       // with m_stateMutex held
    void Log(const std::string& line);

    std::vector<Account> m_accounts;  // as given, UTF-8
    std::vector<Account> m_ansi;      // the same in the ANSI code page
    Logger m_logger;
    std::mutex m_logMutex;

    std::mutex m_stateMutex;  // guards everything below up to m_http
    std::map<std::string, Session> m_sessions;
    std::map<std::size_t, SmsCount> m_smsCounts;
    std::map<std::string, CannedReply> m_canned;
    std::mt19937_64 m_random;

    CHttpListener m_http;  // last: stopped first, while the state its requests use still exists
};

}  // namespace devserver
