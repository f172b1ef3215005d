#include "devserver/account_service.h"

#include <httplib.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <cstdio>

#include "patch/md5.h"
#include "platform/codepage.h"
#include "platform/url_encoding.h"

namespace devserver {

namespace {

constexpr std::size_t kKeepAliveRequests = 100;
constexpr time_t kKeepAliveSeconds = 1;
constexpr const char* kContentType = "text/plain; charset=GBK";
constexpr const char* kNotFoundPage =
    "<html><head><title>404 Not Found</title></head>\n"
    "<body><h1>Not Found</h1></body></html>\n";

// The first value of each name in the target's query.
std::map<std::string, std::string> ParseQuery(std::string_view target) {
    std::map<std::string, std::string> query;
    const std::size_t mark = target.find('?');
    if (mark == std::string_view::npos)
        return query;
    std::string_view rest = target.substr(mark + 1);
    rest = rest.substr(0, rest.find('#'));
    while (!rest.empty()) {
        const std::size_t amp = rest.find('&');
        const std::string_view pair = rest.substr(0, amp);
        const std::size_t eq = pair.find('=');
        query.emplace(platform::PercentDecode(pair.substr(0, eq), true),
                      eq == std::string_view::npos
                          ? std::string()
                          : platform::PercentDecode(pair.substr(eq + 1), true));
        rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
    }
    return query;
}

std::string Value(const std::map<std::string, std::string>& query, const std::string& name) {
    const auto found = query.find(name);
    return found == query.end() ? std::string() : found->second;
}

std::string CookieValue(const httplib::Request& request, std::string_view name) {
    const std::string header = request.get_header_value("Cookie");
    std::string_view rest = header;
    while (!rest.empty()) {
        const std::size_t semicolon = rest.find(';');
        std::string_view pair = rest.substr(0, semicolon);
        while (pair.starts_with(' '))
            pair.remove_prefix(1);
        const std::size_t eq = pair.find('=');
        if (eq != std::string_view::npos && pair.substr(0, eq) == name)
            return std::string(pair.substr(eq + 1));
        rest =
            semicolon == std::string_view::npos ? std::string_view() : rest.substr(semicolon + 1);
    }
    return {};
}

// A reply line: the marker (if any) and a UTF-8 text turned into the ANSI code page.
std::string Line(std::string_view marker, std::string_view text) {
    return std::string(marker) + platform::Utf8ToAnsi(text);
}

long Today() {
    const auto day = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
    return static_cast<long>(day.time_since_epoch().count());
}

std::string LogLine(const httplib::Request& request, int status) {
    return request.remote_addr + ":" + std::to_string(request.remote_port) + " \"" +
           request.method + " " + request.target + "\" " + std::to_string(status) + " \"" +
           request.get_header_value("User-Agent") + "\"";
}

}  // namespace

CAccountService::CAccountService(std::vector<Account> accounts, Logger logger)
    : m_accounts(std::move(accounts)),
      m_logger(std::move(logger)),
      m_random(std::random_device{}()),
      m_http([this](const httplib::Request& request, httplib::Response& response) {
          Serve(request, response);
      }) {
    for (const Account& account : m_accounts) {
        m_ansi.push_back(
            {platform::Utf8ToAnsi(account.name), platform::Utf8ToAnsi(account.password),
             platform::Utf8ToAnsi(account.userId), platform::Utf8ToAnsi(account.userKey),
             platform::Utf8ToAnsi(account.mobile)});
    }
}

bool CAccountService::Start(std::uint16_t port, const std::string& host) {
    return m_http.Start(port, host, [](httplib::Server& server) {
        server.set_keep_alive_max_count(kKeepAliveRequests);
        // Requests of a login are seconds apart anyway; a short wait keeps Stop quick.
        server.set_keep_alive_timeout(kKeepAliveSeconds);
    });
}

void CAccountService::Stop() {
    m_http.Stop();
}

void CAccountService::SetCannedReply(const std::string& path, std::optional<CannedReply> reply) {
    std::lock_guard lock(m_stateMutex);
    if (reply)
        m_canned[path] = std::move(*reply);
    else
        m_canned.erase(path);
}

void CAccountService::Serve(const httplib::Request& request, httplib::Response& response) {
    std::optional<CannedReply> canned;
    {
        std::lock_guard lock(m_stateMutex);
        const auto found = m_canned.find(request.path);
        if (found != m_canned.end())
            canned = found->second;
    }
    const Query query = ParseQuery(request.target);
    std::optional<std::string> line;
    if (canned) {
        response.status = canned->status;
        response.set_content(canned->body, kContentType);
    } else if (request.path == "/account/gameLogin") {
        line = GameLogin(query, response);
    } else if (request.path == "/account/secondLogin") {
        line = SecondLogin(request, query);
    } else if (request.path == "/account/getSmsCode") {
        line = GetSmsCode(request, query);
    } else {
        response.status = 404;
        response.set_content(kNotFoundPage, "text/html");
    }
    if (line) {
        // A bare line feed: the launcher would keep a carriage return in the line.
        response.status = 200;
        response.set_content(*line + "\n", kContentType);
    }
    Log(LogLine(request, response.status));
}

std::string CAccountService::GameLogin(const Query& query, httplib::Response& response) {
    const std::optional<std::size_t> index = FindAccount(Value(query, "accName"));
    if (!index)
        return Line("error|", "账号不存在");
    const Account& account = m_ansi[*index];
    if (Value(query, "password") != patch::CMD5().GetStringMD5(account.password))
        return Line("error|", "密码错误");
    if (account.mobile.empty())
        return SuccessLine(*index);

    const std::string id = NewSessionId();
    {
        std::lock_guard lock(m_stateMutex);
        m_sessions[id] = Session{*index, {}};
    }
    response.set_header("Set-Cookie", std::string(kSessionCookie) + "=" + id + "; Path=/");
    return account.mobile;
}

std::string CAccountService::SecondLogin(const httplib::Request& request, const Query& query) {
    std::lock_guard lock(m_stateMutex);
    const auto session = m_sessions.find(CookieValue(request, kSessionCookie));
    if (session == m_sessions.end())
        return Line("error|", "登录已失效,请重新登录");
    if (session->second.code.empty())
        return Line("error|", "请先获取验证码");
    if (Value(query, "code") != session->second.code)
        return Line("error|", "验证码错误");
    const std::size_t account = session->second.account;
    m_sessions.erase(session);
    return SuccessLine(account);
}

std::string CAccountService::GetSmsCode(const httplib::Request& request, const Query& query) {
    // The launcher skips the character after the marker of this reply, so one blank goes there.
    std::unique_lock lock(m_stateMutex);
    const auto session = m_sessions.find(CookieValue(request, kSessionCookie));
    if (session == m_sessions.end())
        return Line("error| ", "登录已失效,请重新登录");
    const Account& ansi = m_ansi[session->second.account];
    if (Value(query, "mobile") != ansi.mobile)
        return Line("error| ", "手机号码不符");

    session->second.code = NewCode();
    SmsCount& sent = m_smsCounts[session->second.account];
    const long today = Today();
    if (sent.day != today)
        sent = SmsCount{today, 0};
    const bool bySms = ++sent.count <= kDailySmsLimit;
    const Account& account = m_accounts[session->second.account];
    const std::string logLine = std::string(bySms ? "SMS" : "voice call") + " code " +
                                session->second.code + " for " + account.name + " to " +
                                account.mobile + " (" + std::to_string(sent.count) + " today)";
    lock.unlock();
    Log(logLine);
    if (bySms)
        return Line("", "验证码已通过短信发送到" + account.mobile + ",请查收");
    return Line("", "今日短信验证码已达5次上限,验证码将通过语音电话告知" + account.mobile);
}

std::optional<std::size_t> CAccountService::FindAccount(const std::string& ansiName) const {
    for (std::size_t i = 0; i < m_ansi.size(); ++i) {
        if (m_ansi[i].name == ansiName)
            return i;
    }
    return std::nullopt;
}

std::string CAccountService::SuccessLine(std::size_t account) const {
    return "succeed|userName|" + m_ansi[account].userId + "|OTP|" + m_ansi[account].userKey;
}

std::string CAccountService::NewSessionId() {
    std::lock_guard lock(m_stateMutex);
    char id[33];
    std::snprintf(id, sizeof id, "%016llx%016llx", static_cast<unsigned long long>(m_random()),
                  static_cast<unsigned long long>(m_random()));
    return id;
}

std::string CAccountService::NewCode() {
    char code[8];
    std::snprintf(code, sizeof code, "%06u", static_cast<unsigned>(m_random() % 1000000));
    return code;
}

void CAccountService::Log(const std::string& line) {
    std::lock_guard lock(m_logMutex);
    if (m_logger)
        m_logger(line);
}

}  // namespace devserver
