#include "devserver/http_listener.h"

#include <httplib.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>

namespace devserver {

CHttpListener::CHttpListener(Handler handler) : m_handler(std::move(handler)) {}

CHttpListener::~CHttpListener() {
    Stop();
}

bool CHttpListener::Start(std::uint16_t port, const std::string& host, const Configure& configure) {
    if (m_server)
        return false;
    auto server = std::make_unique<httplib::Server>();
    // The library's default adds SO_REUSEPORT, which would let a second server share the port.
    server->set_socket_options([](int socket) {
        const int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    if (configure)
        configure(*server);
    server->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        m_handler(request, response);
    });
    const int bound =
        port == 0 ? server->bind_to_any_port(host) : (server->bind_to_port(host, port) ? port : -1);
    if (bound <= 0)
        return false;
    m_server = std::move(server);
    m_port = static_cast<std::uint16_t>(bound);

    // Stop may only come once the loop runs, or it would be missed.
    auto ended = std::make_shared<std::atomic<bool>>(false);
    m_thread = std::thread([server = m_server.get(), ended] {
        server->listen_after_bind();
        ended->store(true);
    });
    while (!m_server->is_running() && !ended->load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void CHttpListener::Stop() {
    if (m_server)
        m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
}

}  // namespace devserver
