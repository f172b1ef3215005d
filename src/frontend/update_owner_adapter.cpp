#include "frontend/update_owner_adapter.h"

#include <utility>

namespace frontend {

CUpdateOwnerAdapter::CUpdateOwnerAdapter(platform::MessageTarget& target, std::string moduleDir,
                                         bool noUpdate)
    : m_target(target), m_moduleDir(std::move(moduleDir)), m_noUpdate(noUpdate) {}

void CUpdateOwnerAdapter::SetGameDir(std::string dir) {
    std::lock_guard lock(m_selectionMutex);
    m_szGameDir = std::move(dir);
}

void CUpdateOwnerAdapter::SetUpdateUrl(std::string url) {
    std::lock_guard lock(m_selectionMutex);
    m_strUpdateUrl = std::move(url);
}

std::string CUpdateOwnerAdapter::GameDir() const {
    std::lock_guard lock(m_selectionMutex);
    return m_szGameDir;
}

std::string CUpdateOwnerAdapter::UpdateUrl() const {
    std::lock_guard lock(m_selectionMutex);
    return m_strUpdateUrl;
}

}  // namespace frontend
