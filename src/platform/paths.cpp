#include "platform/paths.h"

#include <algorithm>

namespace platform {

std::string NativePath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    const auto doubled = [](char a, char b) { return a == '/' && b == '/'; };
    path.erase(std::unique(path.begin(), path.end(), doubled), path.end());
    return path;
}

std::string JoinNativePath(const std::string& folder, const std::string& relative) {
    std::string tail = NativePath(relative);
    if (!tail.empty() && tail.front() == '/')
        tail.erase(0, 1);
    if (folder.empty())
        return tail;
    return folder.back() == '/' ? folder + tail : folder + "/" + tail;
}

std::string GetFileNamePart(const std::string& path) {
    const std::size_t last = path.find_last_of("/\\");
    return last == std::string::npos ? path : path.substr(last + 1);
}

std::string GetFolderPart(const std::string& path) {
    const std::size_t last = path.find_last_of("/\\");
    return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

}  // namespace platform
