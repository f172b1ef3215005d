#pragma once
// File-system services by path (native form, UTF-8): a file's status, folders, removal, the free
// space of a file system and a walk over the files below a folder. Any thread.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/file.h"

namespace platform {

// The status of what `path` names, symbolic links followed; empty when nothing is there.
std::optional<FileInfo> PathInfo(const std::string& path);

// Creates `folder` and every missing folder above it. False with the system's reason in
// `error` when one cannot be made (a file standing in the way, no permission).
bool CreateFolders(const std::string& folder, std::string& error);

// Removes the file; true when it is gone, also when it was not there. On Windows a read-only
// file goes too, as on Linux, but a program that runs stays.
bool RemoveFile(const std::string& path);

// Renames `from` over `to` in one step; false with the system's reason in `error`. On Windows a
// read-only `to` is replaced as on Linux, and one that another process runs or has open stays,
// with the system's text for a file in use.
bool ReplaceFile(const std::string& from, const std::string& to, std::string& error);

// The bytes an unprivileged user may still write on the file system that holds `path` (or would
// hold it, for a path still to be made), and its block size; empty when the system cannot tell.
struct DiskSpace {
    std::uint64_t available = 0;
    std::uint64_t blockSize = 4096;
};
std::optional<DiskSpace> FreeSpace(const std::string& path);

// Calls `visit` with the full path and the name of every regular file below `folder`, folders
// it cannot read left out. Symbolic links are not followed into.
void ForEachFile(
    const std::string& folder,
    const std::function<void(const std::string& path, const std::string& name)>& visit);

// The permission bits a new file may have under the process's umask (0777 & ~umask), read
// without changing the umask for other threads. Windows has no umask and no permission bits but
// one: a file without the owner's write bit (0200) is read-only (File::SetMode); there the
// answer is 0777.
unsigned PermittedModeBits();

}  // namespace platform
