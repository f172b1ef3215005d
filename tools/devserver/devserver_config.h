#pragma once
// The development server's JSON configuration: one object per role at the top level
// ("launcher", "update", ...); keys of roles this build does not know are left alone. Every
// error names the place in the document it was found at. Any thread; the object is read-only
// once made.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "devserver/account_service.h"
#include "devserver/launcher_server.h"
#include "devserver/update_server.h"

namespace devserver {

class ConfigError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct UpdateServerConfig {
    std::uint16_t port = 0;      // 0: any free port
    std::filesystem::path root;  // the folder served, an existing one
    CUpdateServer::Faults faults;
};

struct AccountServiceConfig {
    std::uint16_t port = 0;  // 0: any free port
    std::vector<CAccountService::Account> accounts;
};

class DevServerConfig final {
public:
    // Reads and checks a file; the error names the file and the place in it. Relative folders
    // in it are taken from the file's own folder.
    static DevServerConfig Load(const std::string& path);
    // Checks a document: the top level must be an object, and each known role in it valid.
    // Relative folders in it are taken from `baseDir`.
    static DevServerConfig Parse(std::string_view text, const std::filesystem::path& baseDir = ".");

    bool HasRole(const char* role) const { return m_root.contains(role); }

    // The "launcher" object: "port", "short_header", "trailer", "games" (name, key,
    // server_version "x.y.z", install_state, update_url, extra, not_ready) and "groups" (game,
    // label, extra, servers: endpoints "a.b.c.d:port", enabled, load). Texts are UTF-8 in the
    // file and go on the wire in the ANSI code page.
    LauncherServerConfig Launcher() const;

    // The "update" object: "port" and "root" (a folder), and optionally "faults" with
    // "cut_after" (bytes), "length_surplus" and "length_shortfall" (bytes announced more or fewer
    // than sent), "corrupt" (true: other bytes of the right length), "status" (answered instead
    // of any file), "block_delay_ms" and "ignore_range" (true: a Range request gets the whole
    // file). Unknown keys in it are mistakes.
    UpdateServerConfig Update() const;

    // The "account" object: "port" and "accounts" (name, password, user_id, user_key and, for
    // the SMS second factor, mobile). Unknown keys in it are mistakes.
    AccountServiceConfig Account() const;

private:
    DevServerConfig(nlohmann::json root, std::filesystem::path baseDir)
        : m_root(std::move(root)), m_baseDir(std::move(baseDir)) {}

    nlohmann::json m_root;
    std::filesystem::path m_baseDir;
};

}  // namespace devserver
