#pragma once
// A running account service on loopback with a few accounts, its log, and a recorder of the
// message boxes: the peer every account test talks to. One test thread.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "devserver/account_service.h"
#include "platform/message_box.h"
#include "support/log_recorder.h"
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
    // The service's lines so far: one per request, one per code sent.
    std::vector<std::string> Log() const { return m_log.lines(); }
    // The six digits of the last code the service "sent".
    std::string LastCode() const {
        const std::vector<std::string> log = Log();
        const auto sent = std::find_if(log.rbegin(), log.rend(), [](const std::string& line) {
            return line.find(" code ") != std::string::npos;
        });
        return sent == log.rend() ? "" : sent->substr(sent->find(" code ") + 6, 6);
    }

    MessageBoxRecorder m_messages;
    LogRecorder m_log;
    devserver::CAccountService m_service{{{"alice", "secret1", "alice", "x7k", ""},
                                          {"bobby", "hunter22", "10002", "kb0b", "138 0000+5678"},
                                          {"a&b c", "p&ss w=rd", "30003", "kamp", ""},
                                          {"张三", "密码口令", "40004", "kzs", ""}},
                                         m_log.logger()};
};

}  // namespace quend::test
