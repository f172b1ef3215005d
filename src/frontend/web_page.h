#pragma once
// The load of one web panel, whatever window holds the panel: the address it is given is fetched
// with an HTTP GET on a worker thread and the result is not examined. A new address, and the
// object's end, cancel a load still running without waiting for its server. GUI thread only; the
// worker touches nothing but its own load.

#include <memory>
#include <string>
#include <thread>

namespace frontend {

class CWebPage final {
public:
    CWebPage();
    ~CWebPage();
    CWebPage(const CWebPage&) = delete;
    CWebPage& operator=(const CWebPage&) = delete;

    // Starts loading `url` (ANSI text as Launcher.ini gives it; an empty one is still requested
    // and fails quietly) and returns.
    void Navigate(const std::string& url);

    // The address last navigated to, and whether its load still runs.
    const std::string& LocationURL() const { return m_strLocation; }
    bool Busy() const;

private:
    struct Load;
    static void RunLoad(Load& load);
    void Cancel();

    std::string m_strLocation;
    std::unique_ptr<Load> m_load;
    std::thread m_worker;
};

}  // namespace frontend
