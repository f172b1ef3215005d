#pragma once
// An open file owned by one object and closed once: opened by path or adopted from the system's
// handle, read and written in blocks, each failure kept as the system's text. One thread at a
// time per object.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// What the file system says of a file.
struct FileInfo {
    std::uint64_t size = 0;
    bool regular = false;           // a plain file: not a folder, device, pipe or socket
    std::int64_t modifiedTime = 0;  // last write, seconds since 1970 UTC
};

class File final {
public:
    enum class Mode {
        Read,            // existing file, reading only; a pipe or device never blocks the open
        ReadWrite,       // existing file, reading and writing
        ReadWriteCreate  // created when missing (mode 0644 before the umask), never emptied
    };
    // What others may do with the file while this object has it open. Windows holds to it: an
    // exclusive open fails while any other handle has the file open (a running game holds its
    // program), and no other open succeeds until this one closes. Linux has no share modes:
    // there every open is shared.
    enum class Share {
        All,  // others may read, write, rename and remove it
        None  // nobody else may open it
    };
    // The system's handle of an open file: a descriptor here, a HANDLE on Windows.
    using Native = std::intptr_t;

    File() = default;
    // Check IsOpen(); on failure Error() says why.
    static File Open(const std::string& path, Mode mode, Share share = Share::All);
    // Takes over `handle`, which this object then closes.
    static File Adopt(Native handle);
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool IsOpen() const { return m_handle >= 0; }
    Native Handle() const { return m_handle; }
    // The system's text for the last failure; empty when none.
    const std::string& Error() const { return m_error; }

    std::optional<FileInfo> Info();
    // Up to `n` bytes from the current position: the count, 0 at the end, -1 on failure. An
    // interrupted read is retried; a short read does not mean the end.
    long Read(void* buffer, std::size_t n);
    // Reads from `offset` without moving the position.
    long ReadAt(void* buffer, std::size_t n, std::uint64_t offset);
    // All `n` bytes or false (disk full, I/O error).
    bool Write(const void* data, std::size_t n);
    // Cuts or extends the file to `size` and puts the position there.
    bool Truncate(std::uint64_t size);
    // Puts the position at `offset`.
    bool Seek(std::uint64_t offset);
    // Gives the file these permission bits. Windows keeps only the owner's write bit (0200): a
    // file without it is read-only, as the C runtime's _chmod has it.
    bool SetMode(unsigned mode);
    // Sets the last-write time (seconds since 1970 UTC); the access time stays.
    bool SetModifiedTime(std::int64_t time);
    // Waits until the written bytes are on the disk.
    bool Flush();
    // Closes now; false when the close reports a late write failure.
    bool Close();

private:
    explicit File(Native handle) : m_handle(handle) {}
    bool Fail();

    Native m_handle = -1;
    std::string m_error;
};

}  // namespace platform
