#include "launch/common_manager.h"

#include <filesystem>
#include <system_error>

std::string CCommonManager::GameDir() const {
    std::error_code error;
    const std::string workDir = std::filesystem::current_path(error).string();
    const std::size_t last = error ? std::string::npos : workDir.rfind('/');
    return last == std::string::npos ? std::string() : workDir.substr(0, last + 1);
}
