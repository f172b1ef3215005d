#include "patch/resume_part.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <unordered_map>

#include "patch/md5.h"
#include "platform/file_system.h"

namespace patch {

namespace {

constexpr std::size_t kDigestSize = 32;
constexpr std::size_t kTagSize = 8;
constexpr std::size_t kUniqueSuffixSize = 6;  // mkostemp's XXXXXX

bool AllOf(std::string_view text, int (*is)(int)) {
    return std::all_of(text.begin(), text.end(),
                       [is](char c) { return is(static_cast<unsigned char>(c)) != 0; });
}

bool IsResumeSuffix(std::string_view rest) {
    // <digest>-<size>-<tag>
    if (rest.size() < kDigestSize + 3 + kTagSize || rest[kDigestSize] != '-' ||
        rest[rest.size() - kTagSize - 1] != '-')
        return false;
    const std::string_view size =
        rest.substr(kDigestSize + 1, rest.size() - kDigestSize - kTagSize - 2);
    return AllOf(rest.substr(0, kDigestSize), ::isxdigit) && !size.empty() &&
           AllOf(size, ::isdigit) && AllOf(rest.substr(rest.size() - kTagSize), ::isxdigit);
}

}  // namespace

std::string ResumePartPath(const std::string& target, const _filelist& entry) {
    if (entry.md5.size() != kDigestSize || !AllOf(entry.md5, ::isxdigit) || entry.fileSize < 0)
        return {};
    std::string digest = entry.md5;
    std::transform(digest.begin(), digest.end(), digest.begin(), [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    const std::string tag = CMD5().GetStringMD5(name).substr(0, kTagSize);
    return folder + std::string(kPartPrefix) + digest + "-" + std::to_string(entry.fileSize) + "-" +
           tag;
}

bool IsPartFileName(std::string_view name) {
    if (!name.starts_with(kPartPrefix))
        return false;
    const std::string_view rest = name.substr(kPartPrefix.size());
    return (rest.size() == kUniqueSuffixSize && AllOf(rest, ::isalnum)) || IsResumeSuffix(rest);
}

std::unordered_set<std::string> RemoveUnownedParts(const std::string& gameDir,
                                                   const std::unordered_set<std::string>& owned) {
    const auto normal = [](const std::string& path) {
        return std::filesystem::path(path).lexically_normal().string();
    };
    std::unordered_map<std::string, std::string> kept;  // normal form to the form given
    for (const std::string& path : owned)
        kept.emplace(normal(path), path);
    std::unordered_set<std::string> found;
    platform::ForEachFile(gameDir, [&](const std::string& path, const std::string& name) {
        if (!IsPartFileName(name))
            return;
        const auto own = kept.find(normal(path));
        if (own == kept.end())
            platform::RemoveFile(path);
        else
            found.insert(own->second);
    });
    return found;
}

}  // namespace patch
