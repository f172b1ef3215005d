#include "pack/ini_encoder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "config/launcher_config.h"
#include "pack/pack_error.h"
#include "support/test_support.h"

namespace {

using quend::test::readFile;
using quend::test::TempDir;
using quend::test::writeFile;

const std::string kGbkGameName = "\xD6\xD0\xCE\xC4\xD3\xCE\xCF\xB7";  // "中文游戏" in GBK

TEST(HexEncodeTest, InvertsHexDecodeForEveryByte) {
    EXPECT_EQ(HexEncode("0"), "03");
    EXPECT_EQ(HexEncode("A"), "14");
    EXPECT_EQ(HexEncode("1.2.3"), "13E223E233");
    EXPECT_EQ(HexEncode("\xA0\xFF"), "0AFF");
    EXPECT_EQ(HexEncode(""), "");
    std::string all;
    for (int byte = 0; byte < 256; ++byte) {
        const std::string one(1, static_cast<char>(byte));
        const std::string encoded = HexEncode(one);
        ASSERT_EQ(encoded.find_first_not_of("0123456789ABCDEF"), std::string::npos) << byte;
        EXPECT_EQ(HexDecode(encoded), one) << byte;
        all += one;
    }
    EXPECT_EQ(HexDecode(HexEncode(all)), all);
}

TEST(EncodeIniFileTest, LauncherReadsBackThePlainValues) {
    TempDir dir;
    writeFile(dir / "plain.ini",
              "\xEF\xBB\xBF; source of Launcher.ini\n"
              "[Launcher]\n"
              "COMPANY=Quendalor Works\n"
              "LANGUAGE=zh\n"
              "TREE_SERVER=127.0.0.1:7000 ; the test server\n"
              "HOMEPAGE=http://www.example.test/?a=b&c=d\n"
              "\n"
              "[Gamelist]\r\n"
              "COUNT=2\r\n"
              "game1=中文游戏\r\n"
              "game2=Alpha\r\n"
              "[中文游戏]\n"
              "VERSION=1.2.3\n"
              "AUTH_DOMAIN=auth.example.test\n"
              "[Alpha]\n"
              "VERSION=0.9.12\n");
    EncodeIniFile((dir / "plain.ini").string(), (dir / "Launcher.ini").string());

    LauncherConfig config;
    ASSERT_TRUE(ReadLauncherConfig((dir / "Launcher.ini").string(), config));
    EXPECT_EQ(config.company, "Quendalor Works");
    EXPECT_EQ(config.language, "zh");
    EXPECT_EQ(config.treeServer, "127.0.0.1:7000 ");
    EXPECT_EQ(config.homePage, "http://www.example.test/?a=b&c=d");
    EXPECT_EQ(config.notice, "");
    ASSERT_EQ(config.games.size(), 2u);
    EXPECT_EQ(config.games["Alpha"], (GameInfo{"0.9.12", ""}));
    EXPECT_EQ(config.games[kGbkGameName], (GameInfo{"1.2.3", "auth.example.test"}));

    // Order, comments and blank lines stay; names stay plain; every line ends in CR LF.
    const std::string written = readFile(dir / "Launcher.ini");
    EXPECT_TRUE(written.starts_with("; source of Launcher.ini\r\n[Launcher]\r\nCOMPANY="));
    EXPECT_NE(written.find("7303030302; the test server\r\nHOMEPAGE="), std::string::npos);
    EXPECT_NE(written.find("\r\n\r\n[Gamelist]\r\nCOUNT=23\r\n"), std::string::npos);
    EXPECT_NE(written.find("\r\n[" + kGbkGameName + "]\r\nVERSION=13E223E233\r\n"),
              std::string::npos);
    EXPECT_TRUE(written.ends_with("[Alpha]\r\nVERSION=03E293E21323\r\n"));
}

TEST(EncodeIniFileTest, RefusesWhatTheLauncherCouldNotReadBack) {
    TempDir dir;
    const std::string out = (dir / "Launcher.ini").string();
    const auto failure = [&](const std::string& plain) -> std::string {
        writeFile(dir / "plain.ini", plain);
        try {
            EncodeIniFile((dir / "plain.ini").string(), out);
        } catch (const PackError& e) {
            return e.what();
        }
        return "no error";
    };
    // No GBK form.
    EXPECT_NE(
        failure("[Launcher]\nCOMPANY=ok\nNOTICE=\xF0\x9F\x98\x80\n").find("plain.ini, line 3"),
        std::string::npos);
    // 2 * 124 + "NOTICE=" is 255 characters: the launcher would cut the value.
    EXPECT_NE(failure("[Launcher]\nNOTICE=" + std::string(124, 'x') + "\n").find("line 2"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(out));
    writeFile(dir / "plain.ini", "[Launcher]\nNOTICE=" + std::string(123, 'x') + "\n");
    EncodeIniFile((dir / "plain.ini").string(), out);
    LauncherConfig config;
    ASSERT_TRUE(ReadLauncherConfig(out, config));
    EXPECT_EQ(config.notice, std::string(123, 'x'));

    EXPECT_THROW(EncodeIniFile((dir / "missing.ini").string(), out), PackError);
}

}  // namespace
