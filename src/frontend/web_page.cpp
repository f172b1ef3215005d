#include "frontend/web_page.h"

#include <atomic>
#include <system_error>
#include <utility>

#include "platform/codepage.h"
#include "platform/http_client.h"
#include "platform/message_box.h"

namespace frontend {

// The panel's request, run by its worker; the panel cancels and joins it before it goes.
struct CWebPage::Load {
    explicit Load(std::string userAgent) : http(std::move(userAgent)) {}
    platform::HttpClient http;
    std::string url;  // UTF-8, as the client sends it
    std::atomic<bool> done{false};
};

namespace {

// The page is read as a browser would, but nothing is done with it.
constexpr std::size_t kPageLimit = 1 << 20;

}  // namespace

CWebPage::CWebPage() = default;

CWebPage::~CWebPage() {
    Cancel();
}

void CWebPage::Navigate(const std::string& url) {
    Cancel();
    m_strLocation = url;
    m_load = std::make_unique<Load>(platform::MessageCaption());
    m_load->url = url.empty() ? std::string() : platform::AnsiToUtf8(url);
    try {
        m_worker = std::thread([load = m_load.get()] { RunLoad(*load); });
    } catch (const std::system_error&) {
        // A panel that cannot load shows nothing, like one whose page failed.
        m_load->done = true;
    }
}

bool CWebPage::Busy() const {
    return m_load && !m_load->done;
}

// Closing the window never waits for a slow page: the client gives up at once.
void CWebPage::Cancel() {
    if (!m_worker.joinable())
        return;
    m_load->http.Cancel();
    m_worker.join();
}

void CWebPage::RunLoad(Load& load) {
    std::string page;
    (void)load.http.GetText(load.url, page, kPageLimit);
    load.done = true;
}

}  // namespace frontend
