// quend-devserver: the peers the launcher talks to, for development and tests, on loopback.
// Logs one line per event on standard output and stops cleanly on SIGINT or SIGTERM.

#include <signal.h>
#include <CLI/CLI.hpp>

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>

#include "devserver/account_service.h"
#include "devserver/devserver_config.h"
#include "devserver/launcher_server.h"
#include "devserver/update_server.h"

namespace {

std::mutex g_outputMutex;

void LogLine(const std::string& line) {
    // One write per line: the channel's send reports reach standard output from other threads.
    std::lock_guard lock(g_outputMutex);
    std::cout << line + '\n' << std::flush;  // flushed: the log is read while we run
}

// Blocked here before any thread starts, so every thread inherits the mask and only the main
// thread's sigwait takes them.
sigset_t StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return signals;
}

struct Options {
    std::string configPath;
    std::string role = "all";
    int port = -1;
    int updatePort = -1;
    int accountPort = -1;
    bool shortHeader = false;
};

// The roles to serve, made from the configuration but not started yet.
struct Servers {
    std::unique_ptr<devserver::CLauncherServer> launcher;
    std::uint16_t launcherPort = 0;
    std::unique_ptr<devserver::CUpdateServer> update;
    devserver::UpdateServerConfig updateConfig;
    std::unique_ptr<devserver::CAccountService> account;
    std::uint16_t accountPort = 0;
};

// A named role must be in the file; "all" serves whichever roles the file has.
Servers MakeServers(const Options& options) {
    const auto config = devserver::DevServerConfig::Load(options.configPath);
    const bool all = options.role == "all";
    Servers servers;
    if (options.role == "launcher" || (all && config.HasRole("launcher"))) {
        devserver::LauncherServerConfig launcherConfig = config.Launcher();
        if (options.port >= 0)
            launcherConfig.port = static_cast<uint16_t>(options.port);
        launcherConfig.short_header = launcherConfig.short_header || options.shortHeader;
        servers.launcherPort = launcherConfig.port;
        servers.launcher = std::make_unique<devserver::CLauncherServer>(launcherConfig, LogLine);
    }
    if (options.role == "update" || (all && config.HasRole("update"))) {
        servers.updateConfig = config.Update();
        if (options.updatePort >= 0)
            servers.updateConfig.port = static_cast<uint16_t>(options.updatePort);
        servers.update = std::make_unique<devserver::CUpdateServer>(
            servers.updateConfig.root, [](const std::string& line) { LogLine("update " + line); });
        servers.update->SetFaults(servers.updateConfig.faults);
    }
    if (options.role == "account" || (all && config.HasRole("account"))) {
        devserver::AccountServiceConfig accountConfig = config.Account();
        servers.accountPort = options.accountPort >= 0
                                  ? static_cast<std::uint16_t>(options.accountPort)
                                  : accountConfig.port;
        servers.account = std::make_unique<devserver::CAccountService>(
            std::move(accountConfig.accounts),
            [](const std::string& line) { LogLine("account " + line); });
    }
    return servers;
}

bool CannotListen(const char* role, std::uint16_t port) {
    std::cerr << "quend-devserver: " << role << " cannot listen on port " << port << " (in use?)"
              << std::endl;
    return false;
}

bool StartServers(Servers& servers) {
    if (servers.launcher) {
        if (!servers.launcher->Start())
            return CannotListen("launcher server", servers.launcherPort);
        LogLine("launcher server listening on 127.0.0.1:" +
                std::to_string(servers.launcher->Port()));
    }
    if (servers.update) {
        if (!servers.update->Start(servers.updateConfig.port))
            return CannotListen("update server", servers.updateConfig.port);
        LogLine("update server listening on 127.0.0.1:" + std::to_string(servers.update->Port()) +
                ", serving " + servers.updateConfig.root.string());
    }
    if (servers.account) {
        if (!servers.account->Start(servers.accountPort))
            return CannotListen("account service", servers.accountPort);
        LogLine("account service listening on 127.0.0.1:" +
                std::to_string(servers.account->Port()));
    }
    return true;
}

void StopServers(Servers& servers) {
    if (servers.account)
        servers.account->Stop();
    if (servers.update)
        servers.update->Stop();
    if (servers.launcher)
        servers.launcher->Stop();
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Quendalor development servers on loopback: launcher server, update server, account "
        "service"};
    Options options;
    app.add_option("--config", options.configPath, "JSON file with one object per role")
        ->required();
    app.add_option("--role", options.role, "which role to serve; all: every role in the file")
        ->check(CLI::IsMember({"launcher", "update", "account", "all"}));
    app.add_option("--port", options.port, "port of the launcher server (0: any free port)")
        ->check(CLI::Range(0, 65535));
    app.add_option("--update-port", options.updatePort,
                   "port of the update server (0: any free port)")
        ->check(CLI::Range(0, 65535));
    app.add_option("--account-port", options.accountPort,
                   "port of the account service (0: any free port)")
        ->check(CLI::Range(0, 65535));
    app.add_flag("--short-header", options.shortHeader, "answer with the 4-byte frame header");
    CLI11_PARSE(app, argc, argv);

    const sigset_t signals = StopSignals();

    Servers servers;
    try {
        servers = MakeServers(options);
    } catch (const devserver::ConfigError& e) {
        std::cerr << "quend-devserver: " << e.what() << std::endl;
        return 2;
    }
    if (!servers.launcher && !servers.update && !servers.account) {
        std::cerr << "quend-devserver: " << options.configPath << ": no role to serve" << std::endl;
        return 2;
    }
    if (!StartServers(servers)) {
        StopServers(servers);
        return 1;
    }

    int received = 0;
    sigwait(&signals, &received);
    LogLine(std::string("stopping on ") + (received == SIGINT ? "SIGINT" : "SIGTERM"));
    StopServers(servers);
    LogLine("stopped");
    return 0;
}
