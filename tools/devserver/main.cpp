// quend-devserver: the peers the launcher talks to, for development and tests, on loopback.
// Logs one line per event on standard output and stops cleanly on SIGINT or SIGTERM.

#include <signal.h>
#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>

#include "devserver/devserver_config.h"
#include "devserver/launcher_server.h"

namespace {

std::mutex g_outputMutex;

void LogLine(const std::string& line) {
    std::lock_guard lock(g_outputMutex);
    std::cout << line << std::endl;  // flushed: the log is read while we run
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

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Quendalor development servers: the launcher server on loopback"};
    std::string configPath;
    std::string role = "all";
    int port = -1;
    bool shortHeader = false;
    app.add_option("--config", configPath, "JSON file with one object per role")->required();
    app.add_option("--role", role, "which role to serve")
        ->check(CLI::IsMember({"launcher", "all"}));
    app.add_option("--port", port, "port of the launcher server (0: any free port)")
        ->check(CLI::Range(0, 65535));
    app.add_flag("--short-header", shortHeader, "answer with the 4-byte frame header");
    CLI11_PARSE(app, argc, argv);

    const sigset_t signals = StopSignals();

    std::unique_ptr<devserver::CLauncherServer> launcher;
    try {
        const auto config = devserver::DevServerConfig::Load(configPath);
        if (role == "launcher" || config.HasRole("launcher")) {
            devserver::LauncherServerConfig launcherConfig = config.Launcher();
            if (port >= 0)
                launcherConfig.port = static_cast<uint16_t>(port);
            launcherConfig.short_header = launcherConfig.short_header || shortHeader;
            launcher = std::make_unique<devserver::CLauncherServer>(launcherConfig, LogLine);
        }
    } catch (const devserver::ConfigError& e) {
        std::cerr << "quend-devserver: " << e.what() << std::endl;
        return 2;
    }
    if (!launcher) {
        std::cerr << "quend-devserver: " << configPath << ": no role to serve" << std::endl;
        return 2;
    }
    if (!launcher->Start()) {
        std::cerr << "quend-devserver: launcher server cannot listen on its port" << std::endl;
        return 1;
    }
    LogLine("launcher server listening on 127.0.0.1:" + std::to_string(launcher->Port()));

    int received = 0;
    sigwait(&signals, &received);
    LogLine(std::string("stopping on ") + (received == SIGINT ? "SIGINT" : "SIGTERM"));
    launcher->Stop();
    LogLine("stopped");
    return 0;
}
