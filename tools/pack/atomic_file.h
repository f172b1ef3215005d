#pragma once
// WriteFileAtomically: replaces a file by a complete new one, so a reader (the update server, a
// launcher fetching the list) never sees it half written. One thread per target file.

#include <filesystem>
#include <string_view>

namespace pack {

// Writes `bytes` to a temporary file ".<name>.XXXXXX" beside `path`, flushes it to disk and
// renames it over `path`. Throws PackError naming the file; the temporary file is then removed.
void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// For the name of such a temporary file, the name of the file it was to replace; else empty.
std::string_view TemporaryTarget(std::string_view name);

}  // namespace pack
