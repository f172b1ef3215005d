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

    // Gives the file the target's permissions (0644 for a new target) and, unless `modifiedTime`
    // is 0, that last-write time, closes it and renames it over the target.
    bool Commit(std::int64_t modifiedTime);

private:
    void Discard();

    std::string m_target;
    std::string m_temp;
    int m_fd = -1;
};
