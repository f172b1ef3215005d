// The engine against nginx configured as the publishing guide shows word for word: Chinese and
// URL-syntax names, a file the server does not have, a file resumed from its part with a Range.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "patch/checksum_list.h"
#include "patch/md5.h"
#include "patch/resume_part.h"
#include "platform/codepage.h"
#include "platform/window_messages.h"
#include "support/nginx_server.h"
#include "support/test_support.h"
#include "update_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace quend::test;
using namespace std::chrono_literals;

const fs::path kSource = QUEND_SOURCE_DIR;
const fs::path kConfig = kSource / "docs" / "nginx-update.conf";

using NginxUpdateTest = UpdateFixture;

patch::_filelist Listed(const std::string& utf8Name, const std::string& bytes) {
    std::string name = platform::Utf8ToAnsi(utf8Name);
    std::replace(name.begin(), name.end(), '/', '\\');
    return {name, "0", patch::CMD5().GetStringMD5(bytes), 1588298400,
            static_cast<std::int64_t>(bytes.size())};
}

TEST_F(NginxUpdateTest, TheGuideShowsTheTestedConfiguration) {
    const std::string guide = readFile(kSource / "docs" / "publishing.md");
    EXPECT_NE(guide.find(readFile(kConfig)), std::string::npos)
        << "docs/publishing.md must hold docs/nginx-update.conf as it is";
}

TEST_F(NginxUpdateTest, APassFetchesResumesAndCountsAMissingFile) {
    if (NginxServer::Program().empty())
        GTEST_SKIP() << "nginx is not installed (Debian package nginx-light)";
    fs::create_directories(m_root / "nginx");
    NginxServer nginx(kConfig, m_root / "served", m_root / "nginx");
    std::string error;
    ASSERT_TRUE(nginx.Start(error)) << error;

    const std::string big = randomBytes(700000, 21);
    const std::vector<std::pair<std::string, std::string>> served = {
        {"Data/big.pak", big}, {"数据/地图.map", "新的地图"}, {"Data/50% off #1?.txt", "odd"}};
    std::vector<patch::_filelist> list;
    for (const auto& [name, bytes] : served) {
        writeFile(m_root / "served" / "patch" / name, bytes);
        list.push_back(Listed(name, bytes));
    }
    list.insert(list.begin() + 1, Listed("Data/gone.pak", "not served"));
    m_url = nginx.Url() + "/patch";
    writeFile(patch::ResumePartPath(Game("Data/big.pak").string(), list.front()),
              big.substr(0, 300000));

    m_manager.StartDownloadThread();
    ASSERT_TRUE(m_manager.StartPass(list));
    ASSERT_TRUE(m_target.waitFor(platform::WM_UPDATE_DONE, 1, 30s));

    const patch::UpdateResult result = m_manager.LastResult();
    EXPECT_EQ(
        std::tie(result.failedFiles, result.firstFailed, result.fetchedFiles, result.resumedBytes),
        std::make_tuple(1, std::string("Data\\gone.pak"), 3, std::uint64_t{300000}));
    EXPECT_FALSE(result.firstLocal.Failed());
    for (const auto& [name, bytes] : served)
        EXPECT_EQ(readFile(Game(name)), bytes) << name;
    EXPECT_EQ(GameFiles(true), Files{});
    // The log lines: "GET TARGET HTTP/1.1|STATUS|BYTES|RANGE", in list order.
    const std::vector<std::string> log = nginx.AccessLog();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0], "GET /patch/Data/big.pak HTTP/1.1|206|400000|bytes=300000-");
    EXPECT_TRUE(log[1].starts_with("GET /patch/Data/gone.pak HTTP/1.1|404|")) << log[1];
}

}  // namespace
