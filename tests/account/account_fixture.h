#pragma once
// A running account service on loopback with a few accounts, its log, and a recorder of the
// message boxes: the peer every account test talks to. One test thread.

#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "devserver/account_service.h"
#include "platform/message_box.h"
#include "support/message_box_recorder.h"

namespace quend::test {

class AccountTest : public ::testing::Test {
protected:
    AccountTest() {
        ::setenv("QUEND_CODEPAGE", "GBK", 1);
        platform::SetMessageCaption("Launcher");
    }
    void SetUp() override { ASSERT_TRUE(m_service.Start()); }

    std::string Domain() const { return "127.0.0.1:" + std::to_string(m_service.Port()); }

    std::vector<std::string> Log() const {
        const std::lock_guard lock(m_logMutex);
        return m_log;
    }
    std::size_t RequestCount() const {
        std::size_t count = 0;
        for (const std::string& line : Log())
            count += line.find("\"GET ") != std::string::npos;
        return count;
    }
    // The six digits of the last code the service "sent".
    std::string LastCode() const {
        const std::vector<std::string> log = Log();
        for (auto line = log.rbegin(); line != log.rend(); ++line) {
            const std::size_t at = line->find(" code ");
            if (at != std::string::npos)
                return line->substr(at + 6, 6);
        }
        return {};
    }

    MessageBoxRecorder m_messages;
    mutable std::mutex m_logMutex;
    std::vector<std::string> m_log;
    devserver::CAccountService m_service{Accounts(), [this](const std::string& line) {
                                             const std::lock_guard lock(m_logMutex);
                                             m_log.push_back(line);
                                         }};

private:
    static std::vector<devserver::CAccountService::Account> Accounts() {
        return {
            {"alice", "secret1", "alice", "x7k", ""},
            {"bobby", "hunter22", "10002", "kb0b", "138 0000+5678"},
            {"a&b c", "p&ss w=rd", "30003", "kamp", ""},
            {"张三", "密码口令", "40004", "kzs", ""},
        };
    }
};

}  // namespace quend::test
