#pragma once
// One loopback HTTP server on its own thread, the common part of the devserver's HTTP roles:
// binding (port 0 = any free port), the serving thread, and a stop that joins it. The owning
// role calls Start and Stop from one thread; requests reach `handler` on the server's threads.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace devserver {

class CHttpListener final {
public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;
    // Settings of the role's own, applied to the fresh server before it binds.
    using Configure = std::function<void(httplib::Server&)>;

    explicit CHttpListener(Handler handler);
    ~CHttpListener();
    CHttpListener(const CHttpListener&) = delete;
    CHttpListener& operator=(const CHttpListener&) = delete;

    // False when already started or the port cannot be bound.
    bool Start(std::uint16_t port, const std::string& host, const Configure& configure);
    std::uint16_t Port() const { return m_port; }
    void Stop();

private:
    Handler m_handler;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    std::uint16_t m_port = 0;
};

}  // namespace devserver
