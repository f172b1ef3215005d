#include "ui/explorer.h"

#include <atomic>
#include <system_error>
#include <utility>

#include "platform/codepage.h"
#include "platform/http_client.h"
#include "platform/message_box.h"

namespace ui {

// Shared by the panel and its worker, so that the worker may outlive the panel.
struct CExplorer1::Load {
    std::string url;        // UTF-8, as the client sends it
    std::string userAgent;  // the program's title
    std::atomic<bool> done{false};
};

namespace {

// The page is read as a browser would, but nothing is done with it.
constexpr std::size_t kPageLimit = 1 << 20;

}  // namespace

CExplorer1::CExplorer1(QWidget* parent) : QWidget(parent) {
    // Explicitly hidden, so that showing the window does not show the panel.
    hide();
}

CExplorer1::~CExplorer1() {
    Abandon();
}

void CExplorer1::Navigate(const std::string& url) {
    Abandon();
    m_strLocation = url;
    m_load = std::make_shared<Load>();
    m_load->url = url.empty() ? std::string() : platform::AnsiToUtf8(url);
    m_load->userAgent = platform::MessageCaption();
    try {
        m_worker = std::thread([load = m_load] { RunLoad(load); });
    } catch (const std::system_error&) {
        // A panel that cannot load shows nothing, like one whose page failed.
        m_load->done = true;
    }
}

bool CExplorer1::Busy() const {
    return m_load && !m_load->done;
}

void CExplorer1::Abandon() {
    if (!m_worker.joinable())
        return;
    // A finished worker is joined; one still waiting keeps its own load alive and ends by the
    // client's time-outs, so closing the window never waits for a slow page.
    if (m_load->done)
        m_worker.join();
    else
        m_worker.detach();
}

void CExplorer1::RunLoad(const std::shared_ptr<Load>& load) {
    {
        platform::HttpClient http(load->userAgent);
        std::string page;
        (void)http.GetText(load->url, page, kPageLimit);
    }
    load->done = true;
}

}  // namespace ui
