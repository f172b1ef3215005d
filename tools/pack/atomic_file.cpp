#include "pack/atomic_file.h"

#include <string>

#include "pack/pack_error.h"
#include "platform/part_file.h"
#include "platform/paths.h"

namespace pack {

namespace {

constexpr std::string_view kTempSuffix = ".XXXXXX";

}  // namespace

void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
    platform::PartFile part = platform::PartFile::CreateUnique(
        platform::PathUtf8(path), "." + platform::PathUtf8(path.filename()) + ".");
    if (!part.IsOpen())
        throw PackError("cannot create a temporary file for " + platform::PathUtf8(path) + ": " +
                        part.Error());
    if (!part.Write(bytes.data(), bytes.size()))
        throw PackError("cannot write " + part.Path() + ": " + part.Error());
    // Published files get the usual umask-based mode, and are on the disk before they replace
    // the old ones.
    platform::PartFile::CommitOptions options;
    options.newFileMode = platform::PartFile::NewFileMode::Published;
    options.flush = true;
    if (!part.Commit(options))
        throw PackError("cannot replace " + platform::PathUtf8(path) + ": " + part.Error());
}

std::string_view TemporaryTarget(std::string_view name) {
    if (name.size() <= 1 + kTempSuffix.size() || name.front() != '.' ||
        name[name.size() - kTempSuffix.size()] != '.')
        return {};
    return name.substr(1, name.size() - 1 - kTempSuffix.size());
}

}  // namespace pack
