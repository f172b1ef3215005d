#include "launch/common_manager.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace {

std::string GameDirOf(const std::string& workDir) {
    const std::size_t last = workDir.rfind('/');
    return last == std::string::npos ? std::string() : workDir.substr(0, last + 1);
}

}  // namespace

int CCommonManager::FillGameDir() {
    std::error_code error;
    const std::filesystem::path workDir = std::filesystem::current_path(error);
    std::string gameDir = error ? std::string() : GameDirOf(workDir.string());
    const int result = gameDir.empty() ? -1 : 1;
    if (m_pOwner != nullptr)
        m_pOwner->SetGameDir(std::move(gameDir));
    return result;
}
