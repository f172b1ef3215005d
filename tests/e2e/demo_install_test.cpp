// The staged demo installation holds together: Launcher.ini names the servers the devserver
// configuration serves, every text and skin entry the launcher asks for is there, and the update
// folder's lists describe the new version and differ from the old game where the demo needs it.

#include <gtest/gtest.h>

#include <QImage>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/launcher_config.h"
#include "config/text_table.h"
#include "devserver/devserver_config.h"
#include "patch/filelist.h"
#include "patch/md5.h"
#include "patch/update_manager.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "protocol/version.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using quend::test::readFile;

const fs::path kDemo = QUEND_DEMO_DIR;
const fs::path kLauncherDir = kDemo / "Quendalor" / "Launcher";

LauncherConfig ReadDemoConfig() {
    LauncherConfig config;
    EXPECT_TRUE(ReadLauncherConfig((kLauncherDir / "Launcher.ini").string(), config));
    return config;
}

nlohmann::json ReadDevserverJson() {
    return nlohmann::json::parse(readFile(kDemo / "devserver.json"));
}

std::string Loopback(const nlohmann::json& role) {
    return "127.0.0.1:" + std::to_string(role.at("port").get<int>());
}

TEST(DemoInstall, LauncherIniPointsAtTheDevserverRoles) {
    const LauncherConfig config = ReadDemoConfig();
    const nlohmann::json json = ReadDevserverJson();
    EXPECT_EQ(config.treeServer, Loopback(json.at("launcher")));
    const std::string web = "http://" + Loopback(json.at("update")) + "/";
    const fs::path updateRoot = kDemo / json.at("update").at("root").get<std::string>();
    for (const std::string& page :
         {config.homePage, config.notice, config.onelineNotice, config.cashItemList}) {
        ASSERT_EQ(page.rfind(web, 0), 0u) << page;
        EXPECT_TRUE(fs::is_regular_file(updateRoot / page.substr(web.size()))) << page;
    }
    ASSERT_FALSE(config.games.empty());
    for (const auto& [name, info] : config.games) {
        EXPECT_EQ(info.authDomain, Loopback(json.at("account"))) << name;
        EXPECT_NE(parse_version(info.version), 0u) << name;
    }
    EXPECT_TRUE(fs::is_regular_file(kLauncherDir / ("Launcher." + config.language)));
}

// The server's last game decides the checksum list for every game, so it must be the one the
// demo updates; each game's update address must lead to a folder with its full list.
TEST(DemoInstall, GamesOfTheServerMatchTheInstalledOnes) {
    const LauncherConfig config = ReadDemoConfig();
    const auto launcher =
        devserver::DevServerConfig::Load((kDemo / "devserver.json").string()).Launcher();
    const nlohmann::json json = ReadDevserverJson();
    const std::string updateBase = "http://" + Loopback(json.at("update")) + "/";
    const fs::path updateRoot = kDemo / json.at("update").at("root").get<std::string>();

    ASSERT_EQ(launcher.games.size(), 2u);
    bool someNotReady = false;
    for (const auto& game : launcher.games) {
        const auto entry = config.games.find(game.game_key);
        ASSERT_NE(entry, config.games.end()) << game.game_key;
        ASSERT_EQ(game.update_url.rfind(updateBase, 0), 0u) << game.update_url;
        EXPECT_TRUE(fs::is_regular_file(updateRoot / game.update_url.substr(updateBase.size()) /
                                        "checksum_all.md5"))
            << game.update_url;
        someNotReady = someNotReady || game.version_not_ready != 0;
    }
    EXPECT_TRUE(someNotReady);
    const auto& last = launcher.games.back();
    EXPECT_EQ(last.version_not_ready, 0);
    EXPECT_NE(static_cast<std::uint32_t>(last.server_version),
              parse_version(config.games.at(last.game_key).version));

    bool recommended = false;
    bool disabled = false;
    for (const auto& group : launcher.groups) {
        recommended = recommended || platform::AnsiToUtf8(group.label) == "推荐";
        for (const auto& server : group.servers)
            disabled = disabled || server.enabled == 0;
    }
    EXPECT_GE(launcher.groups.size(), 5u);
    EXPECT_TRUE(recommended);
    EXPECT_TRUE(disabled);

    std::vector<std::string> mobiles;
    for (const auto& account : json.at("account").at("accounts"))
        mobiles.push_back(account.value("mobile", ""));
    EXPECT_NE(std::find(mobiles.begin(), mobiles.end(), ""), mobiles.end());
    EXPECT_NE(std::find_if(mobiles.begin(), mobiles.end(),
                           [](const std::string& m) { return !m.empty(); }),
              mobiles.end());
}

TEST(DemoInstall, LanguageFilesHoldEveryKeyTheLauncherAsksFor) {
    const std::array<std::pair<const char*, const char*>, 13> keys{{
        {"General", "ConnectionFailed"},
        {"General", "Disconnected"},
        {"General", "UnSelectServer"},
        {"General", "UnSetUpdateServer"},
        {"General", "VersionNotReady"},
        {"General", "WaitForSafeService"},
        {"General", "FailSaveConfig"},
        {"Error", "UnsafeDownloadServer"},
        {"Error", "VersionNeedInstall"},
        {"Error", "ChecksumOpenError_Client"},
        {"Error", "GameServerNotFound"},
        {"Error", "FailExecuteProgram"},
        {"Term", "ServerSet"},
    }};
    const std::string previous = TextFile();
    for (const char* language : {"chs", "eng"}) {
        const fs::path file = kLauncherDir / (std::string("Launcher.") + language);
        SetTextFile(file.string());
        for (const auto& [section, key] : keys) {
            const std::string text = GetText(section, key);
            EXPECT_NE(text.rfind("[?", 0), 0u) << file << ": " << section << "." << key;
            // Shown on screen through the code page: undecodable bytes would show as U+FFFD.
            EXPECT_EQ(platform::AnsiToUtf8(text).find("\xEF\xBF\xBD"), std::string::npos)
                << file << ": " << key;
        }
        const std::string format = GetText("Term", "ServerSet");
        EXPECT_EQ(format.find("%d"), format.rfind('%')) << "one integer only: " << format;
    }
    EXPECT_EQ(platform::AnsiToUtf8(GetText("General", "UnSelectServer")),
              GetText("General", "UnSelectServer"))
        << "the English file is ASCII";
    SetTextFile(previous);
}

std::string SkinValue(const char* section, const std::string& key) {
    std::array<char, 260> value{};
    platform::ReadProfileString(section, key.c_str(), "", value.data(), value.size(),
                                (kLauncherDir / "Skin.ini").string());
    return value.data();
}

QSize RectSize(const std::string& name) {
    const auto number = [&name](const char* suffix) {
        return std::atoi(SkinValue("Size", name + suffix).c_str());
    };
    EXPECT_FALSE(SkinValue("Size", name + "_x").empty()) << name;
    EXPECT_FALSE(SkinValue("Size", name + "_y").empty()) << name;
    return {number("_width"), number("_height")};
}

QImage SkinImage(const std::string& language, const std::string& key) {
    const std::string value = SkinValue("Skin", key);
    EXPECT_EQ(value.rfind('\\', 0), 0u) << key << " must start with a backslash";
    const fs::path file = kLauncherDir / "Skin" / language / platform::NativePath(value.substr(1));
    QImage image(QString::fromStdString(file.string()));
    EXPECT_FALSE(image.isNull()) << file;
    return image;
}

// Every rectangle and image the window reads, and buttons drawn at their controls' size.
TEST(DemoInstall, SkinHasEveryEntryAndImagesFitTheirControls) {
    for (const char* name : {"LSVRTree", "RSVRTree", "FileView", "CashItem", "Notice",
                             "OneLineNotice", "DownProgress", "TotalProgress"}) {
        EXPECT_FALSE(RectSize(name).isEmpty()) << name;
    }
    const std::array<std::pair<const char*, const char*>, 5> buttons{{{"Start", "GameButton"},
                                                                      {"Update", "GameButton"},
                                                                      {"Home", "Home"},
                                                                      {"Help", "Help"},
                                                                      {"Exit", "Exit"}}};
    for (const std::string language : {"chs", "eng"}) {
        const QImage main = SkinImage(language, "MainDialog");
        EXPECT_GE(main.width(), 600);
        EXPECT_EQ(SkinImage(language, "TextBox").size(), RectSize("UserName"));
        EXPECT_EQ(RectSize("Password"), RectSize("UserName"));
        for (const auto& [base, rect] : buttons) {
            for (const char* state : {"Normal", "Over", "Push", "Disable"})
                EXPECT_EQ(SkinImage(language, std::string(base) + state).size(), RectSize(rect))
                    << base << state;
        }
    }
}

std::vector<_filelist> ReadList(const fs::path& file) {
    std::ifstream in(file);
    std::vector<_filelist> entries;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        _filelist entry;
        if (CMyUpdateManager::ParseChecksumLine(line, entry) == 1)
            entries.push_back(entry);
    }
    return entries;
}

bool SameFile(const fs::path& file, const _filelist& entry) {
    if (!fs::is_regular_file(file) ||
        static_cast<std::int64_t>(fs::file_size(file)) != entry.fileSize)
        return false;
    return CMD5().GetStringMD5(readFile(file)) == entry.md5;
}

// The new version's lists match its files; against them the old game has current files,
// changed ones in a sub-folder, and a missing one with a Chinese name.
TEST(DemoInstall, UpdateListsDescribeTheNewVersion) {
    const fs::path served = kDemo / "update" / "quendalor";
    const std::vector<_filelist> all = ReadList(served / "checksum_all.md5");
    ASSERT_GE(all.size(), 4u);
    EXPECT_EQ(readFile(served / "checksum_1_0_3.md5"), readFile(served / "checksum_all.md5"));

    int current = 0, changedInFolder = 0, missingChinese = 0;
    for (const _filelist& entry : all) {
        const std::string local = platform::NativePath(platform::AnsiToUtf8(entry.fileName));
        EXPECT_TRUE(SameFile(served / local, entry)) << local;
        const fs::path old = kDemo / "Quendalor" / local;
        if (SameFile(old, entry))
            ++current;
        else if (fs::exists(old) && entry.fileName.find('\\') != std::string::npos)
            ++changedInFolder;
        else if (!fs::exists(old) && static_cast<unsigned char>(entry.fileName[0]) >= 0x80)
            ++missingChinese;
    }
    EXPECT_GE(current, 1);
    EXPECT_GE(changedInFolder, 1);
    EXPECT_EQ(missingChinese, 1);
    EXPECT_TRUE(fs::is_regular_file(kDemo / "Quendalor" / "Bin" / "Qnd.exe"));
}

}  // namespace
