// Feeds arbitrary bytes through the launcher's receive path: the frame cutting of receive() and
// the handlers of messages 30 and 40. The bytes arrive over a real socket pair whose far end is
// closed after writing, so receive() runs until it gives up. Nothing may crash, read out of
// bounds or publish lists that a malformed message only half described.

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "corelib/xtrace.h"
#include "protocol/client_connection.h"
#include "support/post_recorder.h"

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corelib::set_trace_sink(nullptr);
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return 0;
    // Whatever does not fit into the pair at once is left out; the rest is the input.
    ::fcntl(ends[1], F_SETFL, O_NONBLOCK);
    for (size_t done = 0; done < size;) {
        const ssize_t n = ::send(ends[1], data + done, size - done, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    ::close(ends[1]);

    quend::test::PostRecorder window;
    const std::map<std::string, config::GameInfo> games = {{"Q", {"1.2.3", ""}},
                                                           {"R", {"not a version", ""}}};
    protocol::CClientConnection connection;
    connection.SetInstalledGames(games);
    connection.SetMainWindow(&window);
    connection.AdoptSocket(ends[0]);
    while (connection.receive()) {
    }

    const auto lists = connection.Directory().Latest();
    for (const protocol::GameRecord& game : lists->game_list) {
        if (games.count(game.game_key) == 0)
            check(game.install_state == protocol::kNotInstalled);
    }
    const std::string checksum = connection.GetVersionState().checksumFile;
    check(checksum.empty() || checksum == "checksum_all.md5" ||
          (checksum.rfind("checksum_", 0) == 0 && checksum.size() > 13));
    connection.SetMainWindow(nullptr);
    return 0;
}
