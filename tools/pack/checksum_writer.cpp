#include "pack/checksum_writer.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <system_error>

#include "pack/ansi_text.h"
#include "pack/atomic_file.h"
#include "pack/pack_error.h"
#include "pack/unique_fd.h"
#include "patch/md5.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kAllListName = "checksum_all.md5";
constexpr std::string_view kListPrefix = "checksum_";
constexpr std::string_view kListSuffix = ".md5";
// Widest numbers a packed version holds: major in 4 bits, minor and patch in 14.
constexpr unsigned kVersionLimits[] = {15, 16383, 16383};

std::optional<unsigned> VersionNumber(std::string_view text, unsigned limit) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > limit)
        return std::nullopt;
    return value;
}

// "checksum_X_Y_Z.md5" for a version the launcher can ask for, with `separator` between the
// numbers of `version`.
std::optional<std::string> VersionListName(std::string_view version, char separator) {
    std::string name(kListPrefix);
    for (std::size_t i = 0; i < 3; ++i) {
        const std::size_t end = i < 2 ? version.find(separator) : version.size();
        if (end == std::string_view::npos)
            return std::nullopt;
        const std::optional<unsigned> number =
            VersionNumber(version.substr(0, end), kVersionLimits[i]);
        if (!number)
            return std::nullopt;
        name += (i > 0 ? "_" : "") + std::to_string(*number);
        version.remove_prefix(std::min(version.size(), end + 1));
    }
    return name + std::string(kListSuffix);
}

bool IsListName(std::string_view name) {
    if (name == kAllListName)
        return true;
    if (!name.starts_with(kListPrefix) || !name.ends_with(kListSuffix))
        return false;
    const std::string_view version =
        name.substr(kListPrefix.size(), name.size() - kListPrefix.size() - kListSuffix.size());
    return VersionListName(version, '_') == name;
}

std::string FormatDate(std::time_t time) {
    std::tm local{};
    // A year the reader cannot take as a date (below 1900) reads back as "no time".
    if (localtime_r(&time, &local) == nullptr || local.tm_year < 0)
        return "0000-00-00 00:00:00";
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

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

std::string FormatChecksumLine(const ChecksumEntry& entry) {
    return entry.fileName + "|0|" + entry.md5 + "|" + FormatDate(entry.modifiedTime) + "|" +
           std::to_string(entry.fileSize) + "\r\n";
}

std::string ChecksumListName(std::string_view version) {
    if (version.empty())
        return std::string(kAllListName);
    std::optional<std::string> name = VersionListName(version, '.');
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
        throw PackError("cannot create folder " + m_outDir.string() + ": " + error.message());
    const std::vector<ChecksumEntry> entries = Collect();
    std::string text;
    for (const ChecksumEntry& entry : entries)
        text += FormatChecksumLine(entry);
    WriteFileAtomically(m_outDir / kAllListName, text);
    if (!versionList.empty())
        WriteFileAtomically(m_outDir / versionList, text);
    return entries.size();
}

std::vector<ChecksumEntry> CChecksumWriter::Collect() {
    std::error_code error;
    fs::path gameDir = fs::canonical(m_gameDir, error);
    if (error || !fs::is_directory(gameDir, error))
        throw PackError("not a folder: " + m_gameDir.string());
    fs::path outDir = fs::weakly_canonical(m_outDir, error);
    if (error)
        throw PackError("cannot resolve " + m_outDir.string() + ": " + error.message());
    m_gameDir = std::move(gameDir);
    m_outDir = std::move(outDir);
    m_skipped.clear();
    const std::vector<Found> found = Walk();
    std::vector<ChecksumEntry> entries;
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
                m_skipped.push_back(relative.string());
                continue;
            }
            if (IsOwnOutput(it->path()))
                continue;
            std::string fileName;
            for (const fs::path& part : relative)
                fileName += (fileName.empty() ? "" : "\\") +
                            ListComponent(part.string(), it->path().string());
            found.push_back(Found{it->path(), relative.generic_string(), std::move(fileName)});
        }
    } catch (const fs::filesystem_error& e) {
        throw PackError("cannot read folder " + e.path1().string() + ": " + e.code().message());
    }
    std::sort(found.begin(), found.end(),
              [](const Found& a, const Found& b) { return a.fileName < b.fileName; });
    return found;
}

bool CChecksumWriter::IsExcluded(const fs::path& relative) const {
    const std::string path = relative.generic_string();
    const std::string name = relative.filename().string();
    return std::any_of(m_excludes.begin(), m_excludes.end(), [&](const std::string& exclude) {
        return exclude.find('/') == std::string::npos ? exclude == name : exclude == path;
    });
}

// The lists this tool writes, and temporary files an interrupted run left, when the out
// folder lies inside the game folder.
bool CChecksumWriter::IsOwnOutput(const fs::path& path) const {
    if (path.parent_path() != m_outDir)
        return false;
    const std::string name = path.filename().string();
    return IsListName(name) || IsListName(TemporaryTarget(name));
}

ChecksumEntry CChecksumWriter::Digest(const Found& found) const {
    const std::string shown = found.path.string();
    UniqueFd fd(::open(found.path.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    struct stat status {};
    if (!fd.valid() || ::fstat(fd.get(), &status) != 0)
        throw PackError("cannot open " + shown + ": " + std::strerror(errno));
    if (!S_ISREG(status.st_mode))
        throw PackError("no longer a regular file: " + shown);
    ChecksumEntry entry;
    entry.fileName = found.fileName;
    entry.modifiedTime = status.st_mtim.tv_sec;
    entry.fileSize = status.st_size;
    try {
        entry.md5 = CMD5().GetFileMD5(fd.get());
    } catch (const std::system_error& e) {
        throw PackError("cannot read " + shown + ": " + e.code().message());
    }
    return entry;
}
