#include "support/nginx_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string_view>
#include <thread>

#include "platform/process.h"

namespace quend::test {

namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool WriteText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out.flush());
}

// A port nobody listens on just now.
std::uint16_t FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    std::uint16_t port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool Accepts(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool connected =
        fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

}  // namespace

std::string NginxServer::Program() {
    std::string path = platform::FindOnPath("nginx");
    if (path.empty() && ::access("/usr/sbin/nginx", X_OK) == 0)
        path = "/usr/sbin/nginx";
    return path;
}

NginxServer::NginxServer(fs::path config, fs::path root, fs::path workDir)
    : m_config(std::move(config)), m_root(std::move(root)), m_workDir(std::move(workDir)) {}

NginxServer::~NginxServer() {
    Stop();
}

bool NginxServer::Start(std::string& error) {
    if (Program().empty()) {
        error = "nginx is not installed (Debian package nginx-light)";
        return false;
    }
    // Another process may take the free port before nginx binds it: try a few.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = FreePort();
        if (WriteConfig(error) && StartOnce(error))
            return true;
        if (error.find("Address already in use") == std::string::npos)
            return false;
    }
    return false;
}

// The guide's server block with this port and folder, inside a main configuration that keeps
// every file nginx writes in the work folder.
bool NginxServer::WriteConfig(std::string& error) {
    std::istringstream lines(ReadText(m_config));
    std::string server;
    bool listen = false, root = false;
    for (std::string line; std::getline(lines, line);) {
        const std::size_t start = line.find_first_not_of(" \t");
        const std::string_view text =
            start == std::string::npos ? "" : std::string_view(line).substr(start);
        if (!listen && text == "listen 8080;") {
            line = line.substr(0, start) + "listen 127.0.0.1:" + std::to_string(m_port) + ";";
            listen = true;
        } else if (!root && text.starts_with("root ") && text.ends_with(";")) {
            line = line.substr(0, start) + "root \"" + m_root.string() + "\";";
            root = true;
        }
        server += line + "\n";
    }
    if (!listen || !root) {
        error = m_config.string() + " lacks a line \"listen 8080;\" or a root";
        return false;
    }
    const std::string w = m_workDir.string() + "/";
    fs::create_directories(m_workDir / "temp");
    std::string main =
        "worker_processes 1;\npid " + w + "nginx.pid;\nerror_log " + w + "error.log;\n";
    // As root the workers would run as nobody, who cannot read a private test folder.
    if (::geteuid() == 0)
        main += "user root;\n";
    main +=
        "events { worker_connections 256; }\nhttp {\n"
        "    log_format quend '$request|$status|$body_bytes_sent|$http_range';\n"
        "    access_log " +
        w + "access.log quend;\n";
    for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
        main += std::string("    ") + temp + "_temp_path " + w + "temp/" + temp + ";\n";
    main += "    include " + w + "update.conf;\n}\n";
    if (!WriteText(m_workDir / "update.conf", server) ||
        !WriteText(m_workDir / "nginx.conf", main)) {
        error = "cannot write the configuration into " + m_workDir.string();
        return false;
    }
    return true;
}

bool NginxServer::StartOnce(std::string& error) {
    const std::string w = m_workDir.string() + "/";
    platform::ProcessId pid = -1;
    if (!platform::StartProcess(
            Program(),
            {"-p", w, "-c", w + "nginx.conf", "-e", w + "error.log", "-g", "daemon off;"}, w,
            &pid)) {
        error = "cannot start " + Program();
        return false;
    }
    m_pid = pid;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            error = "nginx ended: " + ReadText(m_workDir / "error.log");
            return false;
        }
        if (Accepts(m_port))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Stop();
    error = "nginx did not listen within 10 s: " + ReadText(m_workDir / "error.log");
    return false;
}

void NginxServer::Stop() {
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
}

std::vector<std::string> NginxServer::AccessLog() const {
    std::vector<std::string> lines;
    std::istringstream text(ReadText(m_workDir / "access.log"));
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    return lines;
}

}  // namespace quend::test
