#pragma once
// One web panel of the main window: a widget that is placed but never shown, and loads the
// address it is given with an HTTP GET on a worker thread, the result not examined. GUI thread
// only; the worker touches nothing but its own load.

#include <memory>
#include <string>
#include <thread>

#include <QWidget>

namespace ui {

class CExplorer1 final : public QWidget {
    Q_OBJECT

public:
    explicit CExplorer1(QWidget* parent = nullptr);
    // Returns at once: a load still waiting for its server is cancelled.
    ~CExplorer1() override;
    CExplorer1(const CExplorer1&) = delete;
    CExplorer1& operator=(const CExplorer1&) = delete;

    // Starts loading `url` (ANSI text as Launcher.ini gives it; an empty one is still requested
    // and fails quietly) and returns. A load still running is cancelled.
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

}  // namespace ui
