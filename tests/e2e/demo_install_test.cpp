// The staged demo installation holds together: Launcher.ini names the servers the devserver
// configuration serves, every text and skin entry the launcher asks for is there, and the update
// folder's lists describe the new version and differ from the old game where the demo needs it.

#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "config/launcher_config.h"
#include "config/text_table.h"
#include "devserver/devserver_config.h"
#include "patch/checksum_list.h"
#include "patch/filelist.h"
#include "patch/md5.h"
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

// The pages and the games' update addresses lead into the update folder, the account service
// is each game's; the server's last game decides the checksum list for every game, so it must be
// the one the demo updates. The demo shows a game not ready, a disabled server, the recommended
// group, and accounts with and without the SMS code.
TEST(DemoInstall, LauncherIniAndTheDevserverAgree) {
    config::LauncherConfig config;
    ASSERT_TRUE(config::ReadLauncherConfig((kLauncherDir / "Launcher.ini").string(), config));
    const auto devserver = devserver::DevServerConfig::Load((kDemo / "devserver.json").string());
    const auto launcher = devserver.Launcher();
    const auto update = devserver.Update();
    const auto accounts = devserver.Account();
    const auto loopback = [](int port) { return "127.0.0.1:" + std::to_string(port); };
    EXPECT_EQ(config.treeServer, loopback(launcher.port));
    EXPECT_TRUE(fs::is_regular_file(kLauncherDir / ("Launcher." + config.language)));
    const std::string web = "http://" + loopback(update.port) + "/";
    for (const std::string& page :
         {config.homePage, config.notice, config.onelineNotice, config.cashItemList}) {
        ASSERT_EQ(page.rfind(web, 0), 0u) << page;
        EXPECT_TRUE(fs::is_regular_file(update.root / page.substr(web.size()))) << page;
    }
    ASSERT_FALSE(config.games.empty());
    for (const auto& [name, info] : config.games) {
        EXPECT_EQ(info.authDomain, loopback(accounts.port)) << name;
        EXPECT_NE(protocol::parse_version(info.version), 0u) << name;
    }

    ASSERT_EQ(launcher.games.size(), 2u);
    for (const auto& game : launcher.games) {
        ASSERT_TRUE(config.games.contains(game.game_key)) << game.game_key;
        ASSERT_EQ(game.update_url.rfind(web, 0), 0u) << game.update_url;
        EXPECT_TRUE(fs::is_regular_file(update.root / game.update_url.substr(web.size()) /
                                        "checksum_all.md5"))
            << game.update_url;
    }
    EXPECT_NE(launcher.games.front().version_not_ready, 0);
    const auto& last = launcher.games.back();
    EXPECT_EQ(last.version_not_ready, 0);
    EXPECT_NE(static_cast<std::uint32_t>(last.server_version),
              protocol::parse_version(config.games.at(last.game_key).version));

    EXPECT_GE(launcher.groups.size(), 5u);
    bool recommended = false, disabled = false;
    for (const auto& group : launcher.groups) {
        recommended = recommended || platform::AnsiToUtf8(group.label) == "推荐";
        for (const auto& server : group.servers)
            disabled = disabled || server.enabled == 0;
    }
    EXPECT_TRUE(recommended);
    EXPECT_TRUE(disabled);
    const auto withSms = std::count_if(accounts.accounts.begin(), accounts.accounts.end(),
                                       [](const auto& account) { return !account.mobile.empty(); });
    EXPECT_GT(withSms, 0);
    EXPECT_LT(withSms, static_cast<long>(accounts.accounts.size()));
}

TEST(DemoInstall, LanguageFilesHoldEveryKeyTheLauncherAsksFor) {
    const std::string previous = config::TextFile();
    for (const char* language : {"chs", "eng"}) {
        const fs::path file = kLauncherDir / (std::string("Launcher.") + language);
        config::SetTextFile(file.string());
        for (const std::string name :
             {"General.ConnectionFailed", "General.Disconnected", "General.UnSelectServer",
              "General.UnSetUpdateServer", "General.VersionNotReady", "General.WaitForSafeService",
              "General.FailSaveConfig", "Error.UnsafeDownloadServer", "Error.VersionNeedInstall",
              "Error.ChecksumOpenError_Client", "Error.GameServerNotFound",
              "Error.FailExecuteProgram", "Error.UpdateIncomplete", "Error.LocalFileError",
              "Error.DiskSpaceShort", "Term.ServerSet"}) {
            const std::size_t dot = name.find('.');
            const std::string text =
                config::GetText(name.substr(0, dot).c_str(), name.substr(dot + 1).c_str());
            EXPECT_NE(text.rfind("[?", 0), 0u) << file << ": " << name;
            // Shown through the code page: undecodable bytes would show as U+FFFD.
            EXPECT_EQ(platform::AnsiToUtf8(text).find("\xEF\xBF\xBD"), std::string::npos)
                << file << ": " << name;
        }
        const std::string format = config::GetText("Term", "ServerSet");
        EXPECT_EQ(format.find("%d"), format.rfind('%')) << "one integer only: " << format;
    }
    EXPECT_EQ(platform::AnsiToUtf8(config::GetText("General", "UnSelectServer")),
              config::GetText("General", "UnSelectServer"))
        << "the English file is ASCII";
    config::SetTextFile(previous);
}

std::string SkinValue(const char* section, const std::string& key) {
    std::array<char, 260> value{};
    platform::ReadProfileString(section, key.c_str(), "", value.data(), value.size(),
                                (kLauncherDir / "Skin.ini").string());
    return value.data();
}

QSize RectSize(const std::string& name) {
    EXPECT_FALSE(SkinValue("Size", name + "_x").empty()) << name;
    EXPECT_FALSE(SkinValue("Size", name + "_y").empty()) << name;
    return {std::atoi(SkinValue("Size", name + "_width").c_str()),
            std::atoi(SkinValue("Size", name + "_height").c_str())};
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
TEST(DemoInstall, TheSkinCoversEveryControl) {
    for (const char* name : {"LSVRTree", "RSVRTree", "FileView", "CashItem", "Notice",
                             "OneLineNotice", "DownProgress", "TotalProgress"}) {
        EXPECT_FALSE(RectSize(name).isEmpty()) << name;
    }
    const std::map<std::string, std::string> buttons = {{"Start", "GameButton"},
                                                        {"Update", "GameButton"},
                                                        {"Home", "Home"},
                                                        {"Help", "Help"},
                                                        {"Exit", "Exit"}};
    EXPECT_EQ(RectSize("Password"), RectSize("UserName"));
    for (const std::string language : {"chs", "eng"}) {
        EXPECT_GE(SkinImage(language, "MainDialog").width(), 600);
        EXPECT_EQ(SkinImage(language, "TextBox").size(), RectSize("UserName"));
        for (const auto& [base, rect] : buttons) {
            for (const char* state : {"Normal", "Over", "Push", "Disable"})
                EXPECT_EQ(SkinImage(language, base + state).size(), RectSize(rect))
                    << base << state;
        }
    }
}

bool SameFile(const fs::path& file, const patch::_filelist& entry) {
    return fs::is_regular_file(file) &&
           static_cast<std::int64_t>(fs::file_size(file)) == entry.fileSize &&
           patch::CMD5().GetStringMD5(readFile(file)) == entry.md5;
}

// The new version's lists match its files; against them the old game has current files,
// changed ones in a sub-folder, and a missing one with a Chinese name.
TEST(DemoInstall, UpdateListsDescribeTheNewVersion) {
    const fs::path served = kDemo / "update" / "quendalor";
    EXPECT_EQ(readFile(served / "checksum_1_0_3.md5"), readFile(served / "checksum_all.md5"));
    std::istringstream list(readFile(served / "checksum_all.md5"));
    int listed = 0, current = 0, changedInFolder = 0, missingChinese = 0;
    for (std::string line; std::getline(list, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        patch::_filelist entry;
        ASSERT_EQ(patch::ParseChecksumLine(line, entry), 1) << line;
        ++listed;
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
    EXPECT_GE(listed, 4);
    EXPECT_GE(current, 1);
    EXPECT_GE(changedInFolder, 1);
    EXPECT_EQ(missingChinese, 1);
    EXPECT_TRUE(fs::is_regular_file(kDemo / "Quendalor" / "Bin" / "Qnd.exe"));
}

}  // namespace
