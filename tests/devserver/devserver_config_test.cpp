// The development server's JSON configuration: what full launcher and update descriptions turn
// into, and that each kind of mistake is reported at its place in the document.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "devserver/devserver_config.h"
#include "support/test_support.h"

using devserver::ConfigError;
using devserver::DevServerConfig;

namespace {

TEST(DevServerConfig, LauncherRoleWithDefaults) {
    const auto config = DevServerConfig::Parse(R"({
        "notes": {"anything": [1, 2]},
        "launcher": {
            "port": 7000, "short_header": true, "trailer": "end",
            "games": [
                {"name": "Quendalor", "server_version": "1.2.3", "update_url": "http://u/"},
                {"name": "Other", "key": "OtherKey", "server_version": "15.16383.0",
                 "install_state": 2, "extra": "e", "not_ready": true}
            ],
            "groups": [
                {"game": "Quendalor", "label": "推荐", "servers": [
                    {"endpoints": ["10.0.0.1:7001", "255.1.2.3:65535"], "load": 9},
                    {"endpoints": [], "enabled": false}
                ]}
            ]
        }})");
    ASSERT_TRUE(config.HasRole("notes"));
    EXPECT_FALSE(config.HasRole("update"));
    const devserver::LauncherServerConfig launcher = config.Launcher();
    EXPECT_EQ(launcher.port, 7000);
    EXPECT_TRUE(launcher.short_header);
    EXPECT_EQ(launcher.trailer, "end");
    ASSERT_EQ(launcher.games.size(), 2u);
    const protocol::GameRecord& first = launcher.games[0];
    EXPECT_EQ(first.game_key, "Quendalor");  // the key defaults to the name
    EXPECT_EQ(first.server_version, (1 << 28) | (2 << 14) | 3);
    EXPECT_EQ(first.install_state, 1);
    EXPECT_EQ(first.update_url, "http://u/");
    EXPECT_EQ(first.version_not_ready, 0);
    const protocol::GameRecord& second = launcher.games[1];
    EXPECT_EQ(second.game_key, "OtherKey");
    EXPECT_EQ(static_cast<uint32_t>(second.server_version), 0xFFFFC000u);
    EXPECT_EQ(second.install_state, 2);
    EXPECT_EQ(second.extra, "e");
    EXPECT_EQ(second.version_not_ready, 1);

    ASSERT_EQ(launcher.groups.size(), 1u);
    const protocol::ServerGroup& group = launcher.groups[0];
    EXPECT_EQ(group.label, "\xCD\xC6\xBC\xF6");  // the wire carries the ANSI code page
    ASSERT_EQ(group.servers.size(), 2u);
    EXPECT_EQ(group.servers[0].enabled, 1);
    EXPECT_EQ(group.servers[0].load, 9);
    ASSERT_EQ(group.servers[0].endpoints.size(), 2u);
    EXPECT_EQ(group.servers[0].endpoints[0].address, 0x0A000001u);
    EXPECT_EQ(group.servers[0].endpoints[1].text(), "255.1.2.3");
    EXPECT_EQ(group.servers[0].endpoints[1].port, 65535);
    EXPECT_EQ(group.servers[1].enabled, 0);
}

TEST(DevServerConfig, MistakesNameTheirPlace) {
    const std::string server = R"({"endpoints": ["1.2.3.4:5"]})";
    const std::string group = R"({"game": "G", "label": "L", "servers": [)" + server + "]}";
    const auto launcherWith = [](const std::string& games, const std::string& groups) {
        return R"({"launcher": {"games": [)" + games + R"(], "groups": [)" + groups + "]}}";
    };
    const auto errorOf = [](const std::string& text) -> std::string {
        try {
            DevServerConfig::Parse(text);
        } catch (const ConfigError& e) {
            return e.what();
        }
        return "accepted";
    };
    const std::string badEndpoint = group + "," + group +
                                    R"(, {"game": "G", "label": "L", "servers": [{"endpoints": )" +
                                    R"(["1.2.3.4:5", "1.2.3:7"]}]})";
    EXPECT_EQ(errorOf(launcherWith("", badEndpoint)),
              R"(launcher.groups[2].servers[0].endpoints[1]: expected "a.b.c.d:port")");
    for (const char* endpoint : {"1.2.3.4", "1.2.3.4:65536", "1.2.3.4:-1", "1.2.3.4:x", "a:1"}) {
        EXPECT_NE(errorOf(launcherWith("", R"({"game": "G", "label": "L", "servers": [)"
                                           R"({"endpoints": [")" +
                                               std::string(endpoint) + R"("]}]})")),
                  "accepted")
            << endpoint;
    }
    EXPECT_EQ(
        errorOf(launcherWith(R"({"name": "A", "server_version": "1.2"})", "")),
        R"(launcher.games[0].server_version: expected "x.y.z" (x up to 15, y and z up to 16383))");
    EXPECT_NE(errorOf(launcherWith(R"({"name": "A", "server_version": "16.0.0"})", "")),
              "accepted");
    EXPECT_NE(errorOf(launcherWith(R"({"name": "A", "server_version": "1.2.3x"})", "")),
              "accepted");
    EXPECT_EQ(errorOf(launcherWith(R"({"server_version": "1.2.3"})", "")),
              R"(launcher.games[0]: missing "name")");
    EXPECT_EQ(errorOf(launcherWith("", R"({"game": 5, "label": "L", "servers": []})")),
              "launcher.groups[0].game: expected a string");
    EXPECT_EQ(errorOf(R"({"launcher": {"port": 70000}})"),
              "launcher.port: expected an integer from 0 to 65535");
    EXPECT_EQ(errorOf(R"({"launcher": []})"), "launcher: expected an object");
    EXPECT_EQ(errorOf("[]"), "the top level must be an object with one member per role");
    EXPECT_EQ(errorOf(R"({"launcher": )").rfind("not valid JSON: ", 0), 0u);
}

TEST(DevServerConfig, LoadNamesTheFile) {
    quend::test::TempDir dir;
    const std::string path = (dir / "dev.json").string();
    quend::test::writeFile(path, R"({"notes": {}})");
    const auto config = DevServerConfig::Load(path);
    EXPECT_FALSE(config.HasRole("launcher"));
    EXPECT_THROW(config.Launcher(), ConfigError);
    quend::test::writeFile(path, R"({"launcher": {"games": {}}})");
    try {
        DevServerConfig::Load(path);
        FAIL() << "accepted";
    } catch (const ConfigError& e) {
        EXPECT_EQ(std::string(e.what()), path + ": launcher.games: expected an array");
    }
}

TEST(DevServerConfig, UpdateRoleServesAFolderBesideTheFile) {
    quend::test::TempDir dir;
    std::filesystem::create_directories(dir / "conf" / "files");
    const std::string path = (dir / "conf" / "dev.json").string();
    quend::test::writeFile(path, R"({"update": {"port": 8080, "root": "files",
        "faults": {"cut_after": 10, "length_surplus": 3, "block_delay_ms": 25}}})");
    const devserver::UpdateServerConfig update = DevServerConfig::Load(path).Update();
    EXPECT_EQ(update.port, 8080);
    EXPECT_TRUE(std::filesystem::equivalent(update.root, dir / "conf" / "files"));
    EXPECT_EQ(update.faults.cutAfter, 10u);
    EXPECT_EQ(update.faults.lengthSurplus, 3u);
    EXPECT_EQ(update.faults.blockDelay, std::chrono::milliseconds(25));

    quend::test::writeFile(path,
                           R"({"update": {"port": 0, "root": ")" + dir.path().string() + R"("}})");
    const devserver::UpdateServerConfig plain = DevServerConfig::Load(path).Update();
    EXPECT_EQ(plain.root, dir.path());  // an absolute root stays as it is
    EXPECT_FALSE(plain.faults.cutAfter.has_value());
    EXPECT_EQ(plain.faults.lengthSurplus, 0u);
    EXPECT_EQ(plain.faults.blockDelay.count(), 0);
}

TEST(DevServerConfig, UpdateRoleMistakesNameTheField) {
    quend::test::TempDir dir;
    const std::string folder = dir.path().string();
    const auto errorOf = [&folder](const std::string& update) -> std::string {
        try {
            DevServerConfig::Parse(R"({"update": )" + update + "}", folder);
        } catch (const ConfigError& e) {
            return e.what();
        }
        return "accepted";
    };
    EXPECT_EQ(errorOf(R"({"port": 1, "root": "."})"), "accepted");
    EXPECT_EQ(errorOf(R"({"root": "."})"), R"(update: missing "port")");
    EXPECT_EQ(errorOf(R"({"port": 1})"), R"(update: missing "root")");
    EXPECT_EQ(errorOf(R"({"port": "80", "root": "."})"), "update.port: expected an integer");
    EXPECT_EQ(errorOf(R"({"port": 1, "root": "missing"})"),
              "update.root: \"" + folder + "/missing\" is not a folder");
    EXPECT_EQ(errorOf(R"({"port": 1, "root": ".", "fault": {}})"),
              R"(update: unknown key "fault")");
    EXPECT_EQ(errorOf(R"({"port": 1, "root": ".", "faults": {"cut": 1}})"),
              R"(update.faults: unknown key "cut")");
    EXPECT_EQ(errorOf(R"({"port": 1, "root": ".", "faults": {"cut_after": -1}})"),
              "update.faults.cut_after: expected an integer from 0 to 1099511627776");
    EXPECT_EQ(errorOf(R"({"port": 1, "root": ".", "faults": {"block_delay_ms": 1.5}})"),
              "update.faults.block_delay_ms: expected an integer");
    EXPECT_EQ(errorOf(R"({"port": 1, "root": ".", "faults": []})"),
              "update.faults: expected an object");
}

}  // namespace
