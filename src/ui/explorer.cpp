#include "ui/explorer.h"

#include <atomic>
#include <system_error>
#include <utility>

#include "platform/codepage.h"
#include "platform/http_client.h"
#include "platform/message_box.h"

namespace ui {

// The panel's request, run by its worker; the panel cancels and joins it before it goes.
struct CExplorer1::Load {
    explicit Load(std::string userAgent) : http(std::move(userAgent)) {}
    platform::HttpClient http;
    std::string url;  // UTF-8, as the client sends it
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
    Cancel();
}

void CExplorer1::Navigate(const std::string& url) {
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

bool CExplorer1::Busy() const {
    return m_load && !m_load->done;
}

// Closing the window never waits for a slow page: the client gives up at once.
void CExplorer1::Cancel() {
    if (!m_worker.joinable())
        return;
    m_load->http.Cancel();
    m_worker.join();
}

void CExplorer1::RunLoad(Load& load) {
    std::string page;
    (void)load.http.GetText(load.url, page, kPageLimit);
    load.done = true;
}

}  // namespace ui
