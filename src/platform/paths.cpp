#include "platform/paths.h"

#include <algorithm>
#include <array>

#include "platform/ascii_case.h"
#include "platform/utf16.h"

namespace platform {

namespace {

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

}  // namespace

std::string NativePath(std::string path) {
    std::replace_if(path.begin(), path.end(), IsSeparator, kNativeSeparator);
    const auto doubled = [](char a, char b) { return a == kNativeSeparator && b == a; };
#if defined(_WIN32)
    const std::size_t keep = path.starts_with("\\\\") ? 1 : 0;
#else
    const std::size_t keep = 0;
#endif
    path.erase(std::unique(path.begin() + static_cast<std::ptrdiff_t>(keep), path.end(), doubled),
               path.end());
    return path;
}

std::string JoinNativePath(const std::string& folder, const std::string& relative) {
    std::string tail = NativePath(relative);
    if (!tail.empty() && tail.front() == kNativeSeparator)
        tail.erase(0, 1);
    if (folder.empty())
        return tail;
    const bool separated = LastNativeSeparator(folder) == folder.size() - 1;
    return separated ? folder + tail : folder + kNativeSeparator + tail;
}

std::size_t LastNativeSeparator(std::string_view path) {
#if defined(_WIN32)
    return path.find_last_of("/\\");
#else
    return path.rfind('/');
#endif
}

std::string GetFileNamePart(const std::string& path) {
    const std::size_t last = path.find_last_of("/\\");
    return last == std::string::npos ? path : path.substr(last + 1);
}

std::string GetFolderPart(const std::string& path) {
    const std::size_t last = path.find_last_of("/\\");
    return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

bool NamesNoPlainFile([[maybe_unused]] std::string_view component) {
#if defined(_WIN32)
    if (component.ends_with('.') || component.ends_with(' '))
        return true;
    // The device is named by what comes before the first dot, blanks before it ignored.
    std::string_view stem = component.substr(0, component.find('.'));
    while (stem.ends_with(' '))
        stem.remove_suffix(1);
    static constexpr std::array<std::string_view, 4> kDevices = {"CON", "PRN", "AUX", "NUL"};
    if (std::any_of(kDevices.begin(), kDevices.end(),
                    [stem](std::string_view device) { return EqualsNoCase(stem, device); }))
        return true;
    return stem.size() == 4 && (StartsWithNoCase(stem, "COM") || StartsWithNoCase(stem, "LPT")) &&
           stem[3] >= '1' && stem[3] <= '9';
#else
    return false;
#endif
}

std::filesystem::path FsPath(const std::string& utf8) {
#if defined(_WIN32)
    return std::filesystem::path(Utf8ToWide(utf8));
#else
    return std::filesystem::path(utf8);
#endif
}

std::string PathUtf8(const std::filesystem::path& path) {
#if defined(_WIN32)
    return WideToUtf8(path.native());
#else
    return path.native();
#endif
}

std::FILE* OpenStdFile(const std::string& utf8, const char* mode) {
#if defined(_WIN32)
    return ::_wfopen(Utf8ToWide(utf8).c_str(), Utf8ToWide(mode).c_str());
#else
    return std::fopen(utf8.c_str(), mode);
#endif
}

}  // namespace platform
