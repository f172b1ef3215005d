#pragma once
// The development server's JSON configuration: one object per role at the top level
// ("launcher", ...); keys of roles this build does not know are left alone. Every error names
// the place in the document it was found at. Any thread; the object is read-only once made.

#include <nlohmann/json.hpp>

#include <stdexcept>
#include <string>
#include <string_view>

#include "devserver/launcher_server.h"

namespace devserver {

class ConfigError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class DevServerConfig final {
public:
    // Reads and checks a file; the error names the file and the place in it.
    static DevServerConfig Load(const std::string& path);
    // Checks a document: the top level must be an object, and each known role in it valid.
    static DevServerConfig Parse(std::string_view text);

    bool HasRole(const char* role) const { return m_root.contains(role); }

    // The "launcher" object: "port", "short_header", "trailer", "games" (name, key,
    // server_version "x.y.z", install_state, update_url, extra, not_ready) and "groups" (game,
    // label, extra, servers: endpoints "a.b.c.d:port", enabled, load). Texts are UTF-8 in the
    // file and go on the wire in the ANSI code page.
    LauncherServerConfig Launcher() const;

private:
    explicit DevServerConfig(nlohmann::json root) : m_root(std::move(root)) {}

    nlohmann::json m_root;
};

}  // namespace devserver
