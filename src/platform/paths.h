#pragma once
// Maps the backslash paths that lists and settings carry as data ("Bin\Qnd.ini") to the file
// system's form where they meet it, and splits a path at its last separator. Pure functions: any
// thread.

#include <string>

namespace platform {

// Every '\' becomes '/' and each run of separators becomes one.
std::string NativePath(std::string path);

// `relative` (a data path) mapped by NativePath and appended to the native `folder` with exactly
// one separator between them; `folder` itself is kept as it is.
std::string JoinNativePath(const std::string& folder, const std::string& relative);

// Everything after the last "/" or "\"; the whole text when there is neither.
std::string GetFileNamePart(const std::string& path);

// Everything up to and including the last "/" or "\" (folders keep their separator); empty when
// there is neither.
std::string GetFolderPart(const std::string& path);

}  // namespace platform
