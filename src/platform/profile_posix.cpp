#include "platform/profile.h"

#include <cerrno>
#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/file.h"
#include "platform/part_file.h"
#include "platform/profile_text.h"

namespace platform {
namespace {

// A whole regular file; nullopt when it cannot be read, with `missing` set when it is not there.
std::optional<std::string> ReadAll(const std::string& path, bool* missing) {
    *missing = false;
    File file = File::Open(path, File::Mode::Read);
    const std::optional<FileInfo> info = file.IsOpen() ? file.Info() : std::nullopt;
    if (!info || !info->regular) {
        std::error_code error;
        *missing = !file.IsOpen() && !std::filesystem::exists(path, error) && !error;
        return std::nullopt;
    }
    std::string content;
    content.reserve(static_cast<std::size_t>(info->size));
    char chunk[16384];
    for (;;) {
        const long got = file.Read(chunk, sizeof chunk);
        if (got == 0)
            return content;
        if (got < 0)
            return std::nullopt;
        content.append(chunk, static_cast<std::size_t>(got));
    }
}

// Writes a part file beside `path` and puts it in place, so readers see the old or the new file,
// never a half-written one; the old file's permissions stay.
bool ReplaceWhole(const std::string& path, std::string_view bytes) {
    PartFile part = PartFile::CreateUnique(path, ".profile-");
    PartFile::CommitOptions options;
    options.newFileMode = PartFile::NewFileMode::Published;
    options.flush = true;
    return part.IsOpen() && part.Write(bytes.data(), bytes.size()) && part.Commit(options);
}

// A symbolic link is written through, so the link stays a link.
std::string WriteTarget(const std::string& file) {
    std::error_code error;
    if (!std::filesystem::is_symlink(file, error))
        return file;
    const std::filesystem::path target = std::filesystem::canonical(file, error);
    return error ? file : target.string();
}

}  // namespace

std::size_t ReadProfileString(const char* section, const char* key, const char* defaultValue,
                              char* buffer, std::size_t size, const std::string& file) {
    bool missing = false;
    const std::optional<std::string> content = ReadAll(file, &missing);
    return ReadProfileText(content ? std::string_view(*content) : std::string_view(), section, key,
                           defaultValue, buffer, size);
}

bool WriteProfileString(const char* section, const char* key, const char* value,
                        const std::string& file) {
    if (file.empty())
        return false;
    const std::string target = WriteTarget(file);
    bool missing = false;
    std::optional<std::string> content = ReadAll(target, &missing);
    if (!content && !missing)
        return false;
    if (!content)
        content.emplace();
    std::string updated;
    switch (EditProfileText(*content, section, key, value, &updated)) {
        case ProfileEdit::kRefused:
            return false;
        case ProfileEdit::kUnchanged:
            return true;  // nothing to remove
        case ProfileEdit::kChanged:
            break;
    }
    return ReplaceWhole(target, updated);
}

}  // namespace platform
