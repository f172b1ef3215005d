#include "pack/checksum_writer.h"

#include <algorithm>
#include <optional>
#include <system_error>

#include "pack/ansi_text.h"
#include "pack/atomic_file.h"
#include "pack/pack_error.h"
#include "patch/checksum_list.h"
#include "patch/md5.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace pack {

namespace fs = std::filesystem;

namespace {

// The path with "/" between its parts, UTF-8 whatever the system's narrow names are.
std::string GenericUtf8(const fs::path& path) {
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

constexpr std::string_view kAllListName = "checksum_all.md5";

// The list's form of one name on disk; `shown` names the file in errors.
std::string ListComponent(const std::string& name, const std::string& shown) {
    if (name.find('\\') != std::string::npos)
        throw PackError(shown + ": a \"\\\" in a name would read as a folder separator");
    std::string ansi = ToAnsiOrThrow(name, shown);
    // Checked on the ANSI bytes: a GBK character's second byte can be "|".
    if (ansi.find_first_of("|\r\n") != std::string::npos)
        throw PackError(shown + ": a name with \"|\" or a line break cannot be listed");
    return ansi;
}

}  // namespace

std::string ChecksumListName(std::string_view version) {
    std::optional<std::string> name = patch::ChecksumListNameOf(version);
    if (!name) {
        throw PackError("version \"" + std::string(version) +
                        "\" is not X.Y.Z with X up to 15 and Y, Z up to 16383");
    }
    return std::move(*name);
}

CChecksumWriter::CChecksumWriter(fs::path gameDir, fs::path outDir)
    : m_gameDir(std::move(gameDir)), m_outDir(std::move(outDir)) {}

void CChecksumWriter::Exclude(std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    while (name.size() > 1 && name.ends_with('/'))
        name.pop_back();
    m_excludes.push_back(std::move(name));
}

std::size_t CChecksumWriter::Run(std::string_view version) {
    const std::string versionList = version.empty() ? std::string() : ChecksumListName(version);
    std::error_code error;
    fs::create_directories(m_outDir, error);
    if (error)
        throw PackError("cannot create folder " + platform::PathUtf8(m_outDir) + ": " +
                        error.message());
    const std::vector<patch::_filelist> entries = Collect();
    std::string text;
    for (const patch::_filelist& entry : entries)
        text += patch::FormatChecksumLine(entry);
    WriteFileAtomically(m_outDir / kAllListName, text);
    if (!versionList.empty())
        WriteFileAtomically(m_outDir / versionList, text);
    return entries.size();
}

std::vector<patch::_filelist> CChecksumWriter::Collect() {
    std::error_code error;
    fs::path gameDir = fs::canonical(m_gameDir, error);
    if (error || !fs::is_directory(gameDir, error))
        throw PackError("not a folder: " + platform::PathUtf8(m_gameDir));
    fs::path outDir = fs::weakly_canonical(m_outDir, error);
    if (error)
        throw PackError("cannot resolve " + platform::PathUtf8(m_outDir) + ": " + error.message());
    m_gameDir = std::move(gameDir);
    m_outDir = std::move(outDir);
    m_skipped.clear();
    const std::vector<Found> found = Walk();
    std::vector<patch::_filelist> entries;
    entries.reserve(found.size());
    for (const Found& file : found) {
        entries.push_back(Digest(file));
        if (m_progress)
            m_progress(entries.size(), found.size(), file.relative);
    }
    return entries;
}

std::vector<CChecksumWriter::Found> CChecksumWriter::Walk() {
    std::vector<Found> found;
    try {
        for (auto it = fs::recursive_directory_iterator(m_gameDir);
             it != fs::recursive_directory_iterator(); ++it) {
            const fs::path relative = it->path().lexically_relative(m_gameDir);
            const fs::file_status status = it->symlink_status();
            if (IsExcluded(relative)) {
                it.disable_recursion_pending();
                continue;
            }
            if (fs::is_directory(status))
                continue;
            if (!fs::is_regular_file(status)) {
                m_skipped.push_back(platform::PathUtf8(relative));
                continue;
            }
            if (IsOwnOutput(it->path()))
                continue;
            std::string fileName;
            for (const fs::path& part : relative)
                fileName += (fileName.empty() ? "" : "\\") +
                            ListComponent(platform::PathUtf8(part), platform::PathUtf8(it->path()));
            found.push_back(Found{it->path(), GenericUtf8(relative), std::move(fileName)});
        }
    } catch (const fs::filesystem_error& e) {
        throw PackError("cannot read folder " + platform::PathUtf8(e.path1()) + ": " +
                        e.code().message());
    }
    std::sort(found.begin(), found.end(),
              [](const Found& a, const Found& b) { return a.fileName < b.fileName; });
    return found;
}

bool CChecksumWriter::IsExcluded(const fs::path& relative) const {
    const std::string path = GenericUtf8(relative);
    const std::string name = platform::PathUtf8(relative.filename());
    return std::any_of(m_excludes.begin(), m_excludes.end(), [&](const std::string& exclude) {
        return exclude.find('/') == std::string::npos ? exclude == name : exclude == path;
    });
}

// The lists this tool writes, and temporary files an interrupted run left, when the out
// folder lies inside the game folder.
bool CChecksumWriter::IsOwnOutput(const fs::path& path) const {
    if (path.parent_path() != m_outDir)
        return false;
    const std::string name = platform::PathUtf8(path.filename());
    return patch::IsChecksumListName(name) || patch::IsChecksumListName(TemporaryTarget(name));
}

patch::_filelist CChecksumWriter::Digest(const Found& found) const {
    const std::string shown = platform::PathUtf8(found.path);
    platform::File file =
        platform::File::Open(platform::PathUtf8(found.path), platform::File::Mode::Read);
    const auto info = file.IsOpen() ? file.Info() : std::nullopt;
    if (!info)
        throw PackError("cannot open " + shown + ": " + file.Error());
    if (!info->regular)
        throw PackError("no longer a regular file: " + shown);
    patch::_filelist entry;
    entry.fileName = found.fileName;
    entry.extra = "0";
    entry.modifiedTime = info->modifiedTime;
    entry.fileSize = static_cast<std::int64_t>(info->size);
    try {
        entry.md5 = patch::CMD5().GetFileMD5(file);
    } catch (const std::system_error& e) {
        throw PackError("cannot read " + shown + ": " + e.code().message());
    }
    return entry;
}

}  // namespace pack
