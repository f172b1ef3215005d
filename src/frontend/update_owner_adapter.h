#pragma once
// The update manager's owner as the window's rules provide it: the selected game's folder and
// update address and where progress is posted, plus the two values of start-up the check pass
// reads; and the window's running flag, which the rules look at. It holds the values the workers
// read, so the GUI thread sets them here and the workers read copies. Setters: GUI thread;
// UpdateOwner members: any thread.

#include <atomic>
#include <mutex>
#include <string>

#include "patch/update_owner.h"
#include "platform/message_target.h"

namespace frontend {

class CUpdateOwnerAdapter final : public patch::UpdateOwner {
public:
    // `moduleDir` and `noUpdate` do not change after start-up.
    CUpdateOwnerAdapter(platform::MessageTarget& target, std::string moduleDir, bool noUpdate);

    void SetGameDir(std::string dir);
    void SetUpdateUrl(std::string url);
    // The window has begun to close: nothing new starts.
    void StopRunning() { m_bRunning = false; }
    bool IsRunning() const { return m_bRunning; }

    // UpdateOwner
    std::string GameDir() const override;
    std::string UpdateUrl() const override;
    std::string ModuleDir() const override { return m_moduleDir; }
    bool NoUpdate() const override { return m_noUpdate; }
    platform::MessageTarget& Target() override { return m_target; }

private:
    platform::MessageTarget& m_target;
    const std::string m_moduleDir;
    const bool m_noUpdate;
    std::atomic<bool> m_bRunning{true};

    mutable std::mutex m_selectionMutex;
    std::string m_szGameDir;
    std::string m_strUpdateUrl;
};

}  // namespace frontend
