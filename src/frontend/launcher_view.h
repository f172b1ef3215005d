#pragma once
// What the main window's rules ask of a window that shows them: the Start button, the status
// line, the two bars, the two server trees, the account boxes, the code prompt, the web panels,
// the browser and the window's end. A Qt dialog implements it, and so can a native window. Message
// boxes go through platform::ShowMessage; posted messages reach the rules through
// CLauncherController::WindowProc. GUI thread only; no call may wait for a worker.

#include <cstdint>
#include <memory>
#include <string>

#include "account/sms_code_prompt.h"
#include "frontend/server_item.h"

namespace platform {
class HttpClient;
}

namespace frontend {

class CServerTreeModel;

enum class TreeSide { Left, Right };  // m_treeLeft, m_treeRight
enum class WebPanel { Home, CashItem, Notice, OneLine };

class LauncherView {
public:
    virtual ~LauncherView() = default;

    // The Start button's image set by its skin base name ("Start" or "Update"), read from the
    // skin now (CSkin::GetButtonImages) and shown from the next paint on; and its enabled state.
    // Until told otherwise the button shows the "Start" set of the skin's layout.
    virtual void SetStartImages(const std::string& imageSet) = 0;
    virtual void EnableStart(bool enable) = 0;

    // The status line (UTF-8).
    virtual void SetStatusText(const std::string& text) = 0;

    // The file's bar (m_progDown) and the overall bar (m_progTotal): ranges from 0, positions.
    virtual void SetDownRange(std::uint32_t range) = 0;
    virtual void SetDownPosition(std::uint32_t position) = 0;
    virtual void SetTotalRange(int range) = 0;
    virtual void SetTotalPosition(int position) = 0;

    // Shows the rows of `model` in the tree on `side` (FServerItem: text, colour, weight, badge,
    // bars, expanded), replacing what it showed, with no row selected. A row's RowId is how the
    // window names it back. Reports no selection change while it fills.
    virtual void FillTree(TreeSide side, const CServerTreeModel& model) = 0;
    // Makes `row` the tree's selected row; kNoRow selects nothing.
    virtual void SelectTreeRow(TreeSide side, RowId row) = 0;

    // The user-name and password boxes as typed (UTF-8).
    virtual std::string UserNameText() const = 0;
    virtual std::string PasswordText() const = 0;
    // The SMS code dialog of one login attempt, modal over this window; see SmsCodePrompt.
    virtual std::unique_ptr<account::SmsCodePrompt> MakeSmsCodePrompt(
        const std::string& domain, const std::string& mobile, platform::HttpClient& http) = 0;

    // Loads `url` (ANSI, as Launcher.ini gives it) into a hidden web panel, once.
    virtual void Navigate(WebPanel panel, const std::string& url) = 0;
    // Opens `url` (ANSI) in the system's browser.
    virtual void OpenInBrowser(const std::string& url) = 0;

    // Ends the window's modal loop; the rules have stopped the workers before.
    virtual void CloseWindow() = 0;
};

}  // namespace frontend
