#pragma once
// CChecksumWriter: the publisher's side of the checksum lists. Walks a game folder and writes
// checksum_all.md5 (and checksum_X_Y_Z.md5) with one line per regular file, in the format the
// launcher's check pass reads. One thread at a time.

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "patch/filelist.h"

namespace pack {

// "checksum_all.md5" for the empty version; for "X.Y.Z" the name the launcher asks for,
// "checksum_X_Y_Z.md5" with the numbers as it prints them. Throws PackError for a version that
// is not three decimal numbers the launcher's packed versions can hold (X up to 15, Y and Z up
// to 16383).
std::string ChecksumListName(std::string_view version);

class CChecksumWriter final {
public:
    // Called after each file: files done, files in all, the file's path as on disk (UTF-8).
    using Progress =
        std::function<void(std::size_t done, std::size_t total, const std::string& name)>;

    CChecksumWriter(std::filesystem::path gameDir, std::filesystem::path outDir);

    // Leaves out every file or folder of this name, or with this relative path ("/" or "\"
    // between folders).
    void Exclude(std::string name);
    void SetProgress(Progress progress) { m_progress = std::move(progress); }

    // Lists the folder and writes checksum_all.md5, and the list of `version` unless it is
    // empty; creates the out folder. Answers the number of files listed. Throws PackError. Each
    // line's second column is "0": the launcher never reads it, and its reader skips an empty
    // field.
    std::size_t Run(std::string_view version);

    // The entries of the folder's files in list order (by file name, byte-wise).
    std::vector<patch::_filelist> Collect();

    // Entries that are neither folders nor regular files (symbolic links, devices), left out.
    const std::vector<std::string>& Skipped() const { return m_skipped; }

private:
    struct Found {
        std::filesystem::path path;  // on disk
        std::string relative;        // UTF-8, "/" between folders
        std::string fileName;        // as listed
    };

    std::vector<Found> Walk();
    bool IsExcluded(const std::filesystem::path& relative) const;
    bool IsOwnOutput(const std::filesystem::path& path) const;
    patch::_filelist Digest(const Found& found) const;

    std::filesystem::path m_gameDir;
    std::filesystem::path m_outDir;
    std::vector<std::string> m_excludes;
    std::vector<std::string> m_skipped;
    Progress m_progress;
};

}  // namespace pack
