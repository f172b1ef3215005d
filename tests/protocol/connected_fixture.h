#pragma once
// A launcher connection with its receive thread, connected to a raw loopback peer that plays the
// launcher server byte by byte; posts and trace lines are recorded.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "protocol/client_connection.h"
#include "support/post_recorder.h"
#include "support/raw_peer.h"
#include "support/trace_recorder.h"
#include "support/wire_bytes.h"

namespace quend::test {

class Connected : public ::testing::Test {
protected:
    void SetUp() override {
        connection.m_config.treeServer = peer.address();
        connection.SetMainWindow(&window);
        ASSERT_TRUE(connection.ConnectServer());
        ASSERT_TRUE(peer.accept());
    }

    // Reads one request frame as the launcher sends it after a long-header reply: the header
    // "1, 256", then the body. Answers the id, or -1 when the frame is not that.
    int32_t readRequest() {
        const std::vector<uint8_t> header = peer.read(8);
        if (header != std::vector<uint8_t>{0, 0, 0, 1, 0, 0, 1, 0})
            return -1;
        const std::vector<uint8_t> body = peer.read(256);
        if (body.size() != 256)
            return -1;
        return static_cast<int32_t>(body[0] | body[1] << 8 | body[2] << 16 | body[3] << 24);
    }

    // Declared first, so they outlive the connection and its thread.
    TraceRecorder trace;
    PostRecorder window;
    RawPeer peer;
    protocol::CClientConnection connection;
};

}  // namespace quend::test
