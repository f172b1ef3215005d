// The devserver's JSON configuration, and mistakes reported at their place.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "devserver/devserver_config.h"
#include "support/test_support.h"

using devserver::DevServerConfig;
using namespace std::chrono_literals;

namespace {

std::string ErrorOf(const std::string& text, const std::filesystem::path& baseDir = ".") {
    try {
        DevServerConfig::Parse(text, baseDir);
    } catch (const devserver::ConfigError& e) {
        return e.what();
    }
    return "accepted";
}

TEST(DevServerConfig, LauncherRoleWithDefaults) {
    const auto launcher = DevServerConfig::Parse(R"({"notes": {"anything": [1, 2]},
        "launcher": {"port": 7000, "short_header": true, "trailer": "end", "games": [
            {"name": "Quendalor", "server_version": "1.2.3", "update_url": "http://u/"},
            {"name": "Other", "key": "OtherKey", "server_version": "15.16383.0",
             "install_state": 2, "extra": "e", "not_ready": true}],
        "groups": [{"game": "Quendalor", "label": "推荐", "servers": [
            {"endpoints": ["10.0.0.1:7001", "255.1.2.3:65535"], "load": 9},
            {"endpoints": [], "enabled": false}]}]}})")
                              .Launcher();
    EXPECT_EQ(std::tie(launcher.port, launcher.short_header, launcher.trailer),
              std::make_tuple(7000, true, "end"));
    // The key defaults to the name, the install state to 1; versions are packed in 4+14+14 bits.
    EXPECT_EQ(launcher.games,
              (std::vector<protocol::GameRecord>{
                  {"Quendalor", "Quendalor", (1 << 28) | (2 << 14) | 3, 0, 1, "http://u/", "", 0},
                  {"Other", "OtherKey", static_cast<int32_t>(0xFFFFC000u), 0, 2, "", "e", 1}}));
    // The wire carries the label in the ANSI code page.
    const protocol::ServerEntry both{{{0x0A000001u, 7001}, {0xFF010203u, 65535}}, 1, 9};
    EXPECT_EQ(launcher.groups, (std::vector<protocol::ServerGroup>{
                                   {"Quendalor", "", "\xCD\xC6\xBC\xF6", {both, {{}, 0, 0}}}}));
}

// A relative root is the file's folder's.
TEST(DevServerConfig, UpdateRoleTakesItsFolderAndFaultsFromTheFile) {
    quend::test::TempDir dir;
    std::filesystem::create_directories(dir / "conf" / "files");
    const std::string path = (dir / "conf" / "dev.json").string();
    quend::test::writeFile(path, R"({"update": {"port": 8080, "root": "files",
        "faults": {"cut_after": 10, "length_surplus": 3, "length_shortfall": 4, "corrupt": true,
                   "status": 503, "block_delay_ms": 25, "ignore_range": true}}})");
    const devserver::UpdateServerConfig update = DevServerConfig::Load(path).Update();
    EXPECT_TRUE(std::filesystem::equivalent(update.root, dir / "conf" / "files"));
    EXPECT_EQ(
        std::tie(update.port, update.faults.cutAfter, update.faults.lengthSurplus,
                 update.faults.lengthShortfall, update.faults.corrupt, update.faults.status,
                 update.faults.blockDelay, update.faults.ignoreRange),
        std::make_tuple(8080, std::optional<std::uint64_t>(10), 3u, 4u, true, 503, 25ms, true));
}

TEST(DevServerConfig, MistakesNameTheirPlace) {
    const auto update = [](const std::string& role) { return R"({"update": )" + role + "}"; };
    quend::test::TempDir dir;
    const std::string folder = dir.path().string();
    const std::pair<std::string, std::string> cases[] = {
        {R"({"launcher": {"games": [{"server_version": "1.2.3"}]}})",
         R"(launcher.games[0]: missing "name")"},
        {R"({"launcher": {"groups": [{"game": 5, "label": "L", "servers": []}]}})",
         "launcher.groups[0].game: expected a string"},
        {R"({"launcher": {"port": 70000}})", "launcher.port: expected an integer from 0 to 65535"},
        {"[]", "the top level must be an object with one member per role"},
        {R"({"launcher": {"groups": [{"game": "G", "label": "L", "servers": [{"endpoints": [)"
         R"("1.2.3.4:5", "1.2.3.4:65536"]}]}]}})",
         R"(launcher.groups[0].servers[0].endpoints[1]: expected "a.b.c.d:port")"},
        {R"({"launcher": {"games": [{"name": "A", "server_version": "16.0.0"}]}})",
         R"(launcher.games[0].server_version: expected "x.y.z" (x up to 15, y and z up to 16383))"},
        {update(R"({"port": 1, "root": "."})"), "accepted"},
        {update(R"({"root": "."})"), R"(update: missing "port")"},
        {update(R"({"port": 1, "root": "missing"})"),
         "update.root: \"" + folder + "/missing\" is not a folder"},
        {update(R"({"port": 1, "root": ".", "faults": {"cut": 1}})"),
         R"(update.faults: unknown key "cut")"},
        {update(R"({"port": 1, "root": ".", "faults": {"status": 99}})"),
         "update.faults.status: expected an integer from 100 to 599"},
        {R"({"account": {"port": 1, "accounts": [{"name": "a", "password": "b"}]}})",
         R"(account.accounts[0]: missing "user_id")"},
    };
    for (const auto& [document, error] : cases)
        EXPECT_EQ(ErrorOf(document, folder), error) << document;
    EXPECT_TRUE(ErrorOf(R"({"launcher": )").starts_with("not valid JSON: "));
}

}  // namespace
