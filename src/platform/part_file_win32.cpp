#include "platform/part_file.h"

#include <windows.h>

#include <random>
#include <utility>

#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/utf16.h"
#include "platform/win32_support.h"

namespace platform {

namespace {

constexpr int kUniqueTries = 100;
// What a replaced file hands on to the one that replaces it.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

std::string FolderOf(const std::string& path) {
    const std::size_t separator = LastNativeSeparator(path);
    return separator == std::string::npos ? "." : path.substr(0, separator);
}

std::string RandomSuffix(std::mt19937& random) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    std::string suffix(6, '\0');
    for (char& c : suffix)
        c = kLetters[pick(random)];
    return suffix;
}

}  // namespace

PartFile PartFile::CreateUnique(std::string target, const std::string& prefix) {
    const std::string folder = FolderOf(target) + kNativeSeparator + prefix;
    std::mt19937 random{std::random_device{}()};
    DWORD error = ERROR_FILE_EXISTS;
    for (int i = 0; i < kUniqueTries && error == ERROR_FILE_EXISTS; ++i) {
        std::string path = folder + RandomSuffix(random);
        const HANDLE handle = ::CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                            0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            return PartFile(std::move(target), std::move(path),
                            File::Adopt(reinterpret_cast<File::Native>(handle)), false);
        }
        error = ::GetLastError();
    }
    PartFile failed;
    failed.m_error = ErrorText(error);
    return failed;
}

PartFile PartFile::OpenNamed(std::string target, std::string path) {
    File file = File::Open(path, File::Mode::ReadWriteCreate, File::Share::None);
    PartFile part(std::move(target), std::move(path), std::move(file), true);
    if (!part.IsOpen()) {
        part.m_error = part.m_file.Error();
        return part;
    }
    const auto info = part.m_file.Info();
    if (!info || !info->regular || !part.m_file.Seek(info->size)) {
        part.m_error =
            info && !info->regular ? ErrorText(ERROR_INVALID_FUNCTION) : part.m_file.Error();
        part.m_file = File();
        return part;
    }
    part.m_size = info->size;
    return part;
}

// The new file takes the old one's hidden and system attributes before it takes its name, and
// its read-only one after, since a read-only file cannot be replaced.
bool PartFile::Commit(const CommitOptions& options) {
    if (!IsOpen())
        return false;
    const std::wstring target = Utf8ToWide(m_target);
    const DWORD old = ::GetFileAttributesW(target.c_str());
    const DWORD kept = old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_DIRECTORY) == 0
                           ? old & kKeptAttributes
                           : 0;
    const bool written =
        (options.modifiedTime == 0 || m_file.SetModifiedTime(options.modifiedTime)) &&
        (!options.flush || m_file.Flush()) && m_file.Close();
    if (!written) {
        Fail(m_file);
        Discard();
        return false;
    }
    if ((kept & ~DWORD{FILE_ATTRIBUTE_READONLY}) != 0)
        ::SetFileAttributesW(Utf8ToWide(m_path).c_str(), kept & ~DWORD{FILE_ATTRIBUTE_READONLY});
    if (!ReplaceFile(m_path, m_target, m_error)) {
        Discard();
        return false;
    }
    m_path.clear();
    if ((kept & FILE_ATTRIBUTE_READONLY) != 0)
        ::SetFileAttributesW(target.c_str(), kept);
    return true;
}

}  // namespace platform
