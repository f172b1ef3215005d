#include "launch/common_manager.h"

#include <filesystem>
#include <system_error>

#include "platform/paths.h"

namespace launch {

std::string CCommonManager::GameDir() const {
    std::error_code error;
    const std::string workDir = platform::PathUtf8(std::filesystem::current_path(error));
    return error ? std::string() : platform::GetFolderPart(workDir);
}

}  // namespace launch
