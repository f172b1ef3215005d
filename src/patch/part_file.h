#pragma once
// A download in the making: a uniquely named temporary file beside its target that replaces the
// target only when Commit succeeds, and is removed otherwise. One thread at a time.

#include <cstddef>
#include <cstdint>
#include <string>

class CPartFile final {
public:
    // Creates the temporary file in the target's folder, which must exist already.
    explicit CPartFile(std::string target);
    ~CPartFile();
    CPartFile(const CPartFile&) = delete;
    CPartFile& operator=(const CPartFile&) = delete;
    CPartFile(CPartFile&&) = delete;
    CPartFile& operator=(CPartFile&&) = delete;

    bool IsOpen() const { return m_fd >= 0; }

    // Writes all `size` bytes or answers false (disk full, I/O error).
    bool Write(const char* data, std::size_t size);

    // Gives the file the target's permissions, closes it and renames it over the target; unless
    // `modifiedTime` is 0 the file gets that last-write time. A new target gets 0644, plus the
    // execute bits the umask allows when it starts as a program does (an ELF header or "#!").
    bool Commit(std::int64_t modifiedTime);

    // The system's text for the last failure: creating, writing or committing.
    const std::string& Error() const { return m_error; }

    // Removes the part files of downloads that ended with their process, anywhere below
    // `folder`. Only while no download writes there.
    static void RemoveStale(const std::string& folder);

private:
    bool Fail();
    void Discard();

    std::string m_target;
    std::string m_temp;
    std::string m_error;
    char m_head[4] = {};
    std::size_t m_headSize = 0;
    int m_fd = -1;
};
