// The development update server's one guard: a request names a file inside its folder or nothing.

#include "devserver/update_server.h"

#include <filesystem>

#include <gtest/gtest.h>

namespace {

using devserver::CUpdateServer;

TEST(UpdateServerMapTarget, ARequestStaysInsideTheFolder) {
    const std::filesystem::path root = "/srv/update";
    EXPECT_EQ(CUpdateServer::MapTarget(root, "/a/./b%20c.txt?v=1"), root / "a" / "b c.txt");
    EXPECT_EQ(CUpdateServer::MapTarget(root, "/%E6%95%B0//x"), root / "数" / "x");
    EXPECT_EQ(CUpdateServer::MapTarget(root, "/100%zz"), root / "100%zz");
    for (const char* bad :
         {"/a/../b", "/a%2F..%2Fb", "/..", "relative", "", "http://h/a", "/a%00b"})
        EXPECT_FALSE(CUpdateServer::MapTarget(root, bad).has_value()) << bad;
}

}  // namespace
