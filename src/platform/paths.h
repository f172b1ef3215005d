#pragma once
// Maps the backslash paths that lists and settings carry as data ("Bin\Qnd.ini") to the file
// system's form where they meet it, splits a path at its last separator, and carries UTF-8 paths
// into std::filesystem and back. Pure functions: any thread.

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

// The separator the file system writes: '/' here, '\' on Windows (which takes '/' as well).
#if defined(_WIN32)
inline constexpr char kNativeSeparator = '\\';
#else
inline constexpr char kNativeSeparator = '/';
#endif

// Every '\' and '/' becomes the native separator and each run of separators becomes one (on
// Windows a leading "\\" of a network path stays).
std::string NativePath(std::string path);

// `relative` (a data path) mapped by NativePath and appended to the native `folder` with exactly
// one separator between them; `folder` itself is kept as it is.
std::string JoinNativePath(const std::string& folder, const std::string& relative);

// Where the last separator of a native path stands ('/', on Windows '\' or '/'); npos when none.
std::size_t LastNativeSeparator(std::string_view path);

// Everything after the last "/" or "\"; the whole text when there is neither.
std::string GetFileNamePart(const std::string& path);

// Everything up to and including the last "/" or "\" (folders keep their separator); empty when
// there is neither.
std::string GetFolderPart(const std::string& path);

// True for one component of a path that the file system would not take as a plain file of that
// name: on Windows a device (CON, PRN, AUX, NUL, COM1-9, LPT1-9, also with an extension) or a
// name ending in "." or " ", which the system silently shortens. Never elsewhere.
bool NamesNoPlainFile(std::string_view component);

// A UTF-8 path as std::filesystem takes it, and back; on Windows through UTF-16, where the
// library would read narrow text in another code page.
std::filesystem::path FsPath(const std::string& utf8);
std::string PathUtf8(const std::filesystem::path& path);

// std::fopen of a UTF-8 path (on Windows through the wide-character open).
std::FILE* OpenStdFile(const std::string& utf8, const char* mode);

}  // namespace platform
