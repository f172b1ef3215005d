#pragma once
// nginx serving one folder on a free loopback port with the update-server configuration that
// the publishing guide gives, everything it writes (pid, logs, temporary files) in a folder of
// its own, its access log readable line by line. For tests and benchmarks; one thread.

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quend::test {

class NginxServer final {
public:
    // The nginx program, or empty when it is not installed.
    static std::string Program();

    // `config`: the guide's server block, whose "listen 8080;" and "root ...;" lines are set to
    // the port and `root`. `workDir` must exist.
    NginxServer(std::filesystem::path config, std::filesystem::path root,
                std::filesystem::path workDir);
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    // False with the reason in `error` (the program missing, the configuration refused).
    bool Start(std::string& error);
    void Stop();

    std::uint16_t Port() const { return m_port; }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    // One line per request so far: "METHOD TARGET|STATUS|BODY BYTES|RANGE" ("-" for no range).
    std::vector<std::string> AccessLog() const;

private:
    bool WriteConfig(std::string& error);
    bool StartOnce(std::string& error);

    std::filesystem::path m_config;
    std::filesystem::path m_root;
    std::filesystem::path m_workDir;
    std::uint16_t m_port = 0;
    pid_t m_pid = -1;
};

}  // namespace quend::test
