// The update-server role of the real quend-devserver program, started from a JSON file: it serves
// the configured folder with a log line per request, switches on the configured faults, refuses a
// mistaken file by naming the field, and stops cleanly on either signal.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devserver_process.h"
#include "platform/http_client.h"
#include "support/test_support.h"

namespace {

using quend::test::DevServerProcess;
using quend::test::writeFile;

constexpr char kListening[] = "update server listening on 127.0.0.1:";

// The update address from the program's "listening" line, or empty.
std::string UpdateAddress(const std::string& line) {
    if (line.rfind(kListening, 0) != 0)
        return {};
    const std::size_t start = line.find("127.0.0.1:");
    return "http://" + line.substr(start, line.find(',') - start);
}

class UpdateProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("no_proxy", "127.0.0.1,localhost", 1);
        writeFile(m_dir / "conf/files/Data/地图.txt", "map bytes");
    }

    std::string WriteConfig(const std::string& faults) {
        const auto path = m_dir / "conf/devserver.json";
        writeFile(path, R"({"launcher": {"port": 0},
            "update": {"port": 0, "root": "files", "faults": {)" +
                            faults + "}}}");
        return path.string();
    }

    quend::test::TempDir m_dir;
};

TEST_F(UpdateProgramTest, ServesTheFolderAndLogsEachRequest) {
    DevServerProcess process({"--config", WriteConfig(""), "--role", "update"});
    const std::string ready = process.readLine();
    const std::string address = UpdateAddress(ready);
    ASSERT_FALSE(address.empty()) << ready;  // and no launcher server first

    {
        // Gone before the signal: the server waits for a kept-alive connection to go idle.
        platform::HttpClient client("QuendTest");
        std::string body;
        ASSERT_TRUE(client.GetText(address + "/Data/地图.txt", body));
        EXPECT_EQ(client.Status(), 200);
        EXPECT_EQ(body, "map bytes");
        ASSERT_TRUE(client.GetText(address + "/Data/missing.txt", body));
        EXPECT_EQ(client.Status(), 404);
    }

    const std::string found = process.readLine();
    EXPECT_EQ(found.rfind("update 127.0.0.1:", 0), 0u) << found;
    EXPECT_NE(found.find("\"GET /Data/%E5%9C%B0%E5%9B%BE.txt\" 200 9 \"QuendTest\""),
              std::string::npos)
        << found;
    const std::string missing = process.readLine();
    EXPECT_NE(missing.find("\"GET /Data/missing.txt\" 404"), std::string::npos) << missing;

    EXPECT_EQ(process.finish(SIGINT), 0);
    EXPECT_EQ(process.readLine(), "stopping on SIGINT");
    EXPECT_EQ(process.readLine(), "stopped");
}

TEST_F(UpdateProgramTest, AllRolesStartWithTheConfiguredFaults) {
    DevServerProcess process({"--config", WriteConfig(R"("cut_after": 4)"), "--role", "all"});
    const std::string launcher = process.readLine();
    EXPECT_EQ(launcher.rfind("launcher server listening on 127.0.0.1:", 0), 0u) << launcher;
    const std::string address = UpdateAddress(process.readLine());
    ASSERT_FALSE(address.empty());

    platform::HttpClient client("QuendTest");
    ASSERT_TRUE(client.Get(address + "/Data/地图.txt"));
    EXPECT_EQ(client.ContentLength(), 9u);
    char buffer[64];
    EXPECT_EQ(client.Read(buffer, sizeof buffer), 4);
    EXPECT_EQ(client.Read(buffer, sizeof buffer), -1);  // cut after 4 of 9 bytes
    client.Close();

    EXPECT_EQ(process.finish(SIGTERM), 0);
}

TEST_F(UpdateProgramTest, MistakenFileNamesTheField) {
    const std::string config = WriteConfig(R"("cut_after": "all")");
    DevServerProcess process({"--config", config, "--role", "update"});
    EXPECT_EQ(process.readLine(),
              "quend-devserver: " + config + ": update.faults.cut_after: expected an integer");
    EXPECT_EQ(process.finish(0), 2);
}

}  // namespace
