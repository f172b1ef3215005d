#pragma once
// A file in the making beside its target, which it replaces in one step only when Commit
// succeeds: readers never see a half-written target. Either uniquely named and removed unless
// committed, or named by the caller and kept for a later attempt to go on with. On Windows nobody
// else may open it while it is being written. One thread at a time per object.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file.h"

namespace platform {

class PartFile final {
public:
    // What a file new to its folder gets; a replaced file keeps the permissions of the old one
    // (on Windows its read-only, hidden and system attributes, and a new file gets none, of
    // either kind).
    enum class NewFileMode {
        Data,       // 0644, plus the execute bits the umask allows when it starts as a program
                    // does (an ELF header or "#!")
        Published,  // 0666 less the umask
    };
    struct CommitOptions {
        std::int64_t modifiedTime = 0;  // seconds since 1970 UTC; 0: the time of writing stays
        NewFileMode newFileMode = NewFileMode::Data;
        bool flush = false;  // on the disk before the rename
    };

    PartFile() = default;
    // A new empty file named `prefix` and six random characters in the folder of `target`, which
    // must exist. Removed unless committed.
    static PartFile CreateUnique(std::string target, const std::string& prefix);
    // The part file at `path` for `target`, with what it holds already; created when missing.
    // Kept when the object goes without Commit or Discard.
    static PartFile OpenNamed(std::string target, std::string path);
    ~PartFile();
    PartFile(PartFile&& other) noexcept;
    PartFile& operator=(PartFile&& other) noexcept;
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    bool IsOpen() const { return m_file.IsOpen(); }
    const std::string& Path() const { return m_path; }
    // The system's text for the last failure: creating, writing or committing.
    const std::string& Error() const { return m_error; }

    // Bytes in the file; writes go after them.
    std::uint64_t Size() const { return m_size; }
    // Reads what the file holds, from `offset`; the count, 0 at its end, -1 on failure.
    long ReadAt(void* buffer, std::size_t n, std::uint64_t offset);
    // Appends all `n` bytes or answers false (disk full, I/O error).
    bool Write(const void* data, std::size_t n);
    // Keeps the first `size` bytes only.
    bool Truncate(std::uint64_t size);

    // Sets mode and time, closes the file and renames it over the target. On failure the file is
    // removed and Error() says why; a target another process has open or runs gives the system's
    // text for a file in use.
    bool Commit(const CommitOptions& options);
    // Closes and removes the file.
    void Discard();

private:
    PartFile(std::string target, std::string path, File file, bool keep);
    bool Fail(const File& file);

    std::string m_target;
    std::string m_path;
    File m_file;
    std::uint64_t m_size = 0;
    bool m_keep = false;  // left in place when the object goes
    std::string m_error;
};

}  // namespace platform
