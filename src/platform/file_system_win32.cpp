#include "platform/file_system.h"

#include <windows.h>

#include "platform/paths.h"
#include "platform/process.h"
#include "platform/utf16.h"
#include "platform/win32_support.h"

namespace platform {

namespace {

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

std::wstring WithoutTrailingSeparators(std::wstring path) {
    while (path.size() > 1 && IsSeparator(path.back()) && path[path.size() - 2] != L':')
        path.pop_back();
    return path;
}

std::wstring ParentOf(const std::wstring& path) {
    const std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1);
}

std::wstring FullPath(const std::wstring& path) {
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size =
            ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (size == 0)
            return path;
        if (size < full.size()) {
            full.resize(size);
            return full;
        }
        full.resize(size);
    }
}

std::optional<FileInfo> InfoOf(const WIN32_FILE_ATTRIBUTE_DATA& data) {
    return FileInfo{
        (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow,
        (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0,
        UnixTimeOf(data.ftLastWriteTime)};
}

// A link's own status names the link; its target's is read through a handle.
std::optional<FileInfo> LinkTargetInfo(const std::wstring& path) {
    const UniqueHandle file(
        ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file || !::GetFileInformationByHandle(file.get(), &info))
        return std::nullopt;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    data.dwFileAttributes = info.dwFileAttributes;
    data.nFileSizeHigh = info.nFileSizeHigh;
    data.nFileSizeLow = info.nFileSizeLow;
    data.ftLastWriteTime = info.ftLastWriteTime;
    return InfoOf(data);
}

bool MakeFolder(const std::wstring& folder, DWORD& error) {
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return true;
        error = ERROR_ALREADY_EXISTS;  // a file stands in the way
        return false;
    }
    const std::wstring parent = WithoutTrailingSeparators(ParentOf(folder));
    if (!parent.empty() && parent != folder && !MakeFolder(parent, error))
        return false;
    if (::CreateDirectoryW(folder.c_str(), nullptr))
        return true;
    error = ::GetLastError();
    // Another thread or process made it meanwhile.
    return error == ERROR_ALREADY_EXISTS &&
           (::GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The replace failed with `error`: when another process runs the file or has it open, the
// system's text for a file in use says so better than a refusal (Windows refuses the replacement
// of a running program as access denied; Wine does that for every open file).
std::string ReplaceFailure(const std::wstring& target, DWORD error) {
    if (error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION) {
        const UniqueHandle probe(::CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if ((!probe && ::GetLastError() == ERROR_SHARING_VIOLATION) ||
            IsRunByOtherProcess(WideToUtf8(target)))
            error = ERROR_SHARING_VIOLATION;
    }
    return ErrorText(error);
}

void Walk(const std::wstring& folder,
          const std::function<void(const std::string& path, const std::string& name)>& visit) {
    const std::wstring prefix =
        folder.empty() || IsSeparator(folder.back()) ? folder : folder + L'\\';
    WIN32_FIND_DATAW found{};
    const HANDLE search =
        ::FindFirstFileExW((prefix + L'*').c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                           nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = found.cFileName;
        // Links, and junctions, are neither listed nor followed.
        if (name == L"." || name == L".." ||
            (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            continue;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            Walk(prefix + name, visit);
        else if ((found.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0)
            visit(WideToUtf8(prefix + name), WideToUtf8(name));
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

}  // namespace

std::optional<FileInfo> PathInfo(const std::string& path) {
    const std::wstring wide = Utf8ToWide(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return LinkTargetInfo(wide);
    return InfoOf(data);
}

bool CreateFolders(const std::string& folder, std::string& error) {
    DWORD code = ERROR_SUCCESS;
    if (MakeFolder(WithoutTrailingSeparators(FullPath(Utf8ToWide(folder))), code))
        return true;
    error = ErrorText(code);
    return false;
}

// A read-only file goes too, as Linux removes one from a folder it may write.
bool RemoveFile(const std::string& path) {
    const std::wstring wide = Utf8ToWide(path);
    if (::DeleteFileW(wide.c_str()))
        return true;
    DWORD error = ::GetLastError();
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
        ::SetFileAttributesW(wide.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY})) {
        if (::DeleteFileW(wide.c_str()))
            return true;
        error = ::GetLastError();
        ::SetFileAttributesW(wide.c_str(), attributes);
    }
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// A read-only target is replaced too, as a rename on Linux replaces one.
bool ReplaceFile(const std::string& from, const std::string& to, std::string& error) {
    const std::wstring target = Utf8ToWide(to);
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES &&
                          (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) ==
                              FILE_ATTRIBUTE_READONLY;
    if (readOnly)
        ::SetFileAttributesW(target.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
    if (::MoveFileExW(Utf8ToWide(from).c_str(), target.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    const DWORD code = ::GetLastError();
    if (readOnly)
        ::SetFileAttributesW(target.c_str(), attributes);
    error = ReplaceFailure(target, code);
    return false;
}

std::optional<DiskSpace> FreeSpace(const std::string& path) {
    // A folder still to be made goes on the volume of the nearest one there is.
    std::wstring at = WithoutTrailingSeparators(FullPath(Utf8ToWide(path)));
    ULARGE_INTEGER available{};
    while (!::GetDiskFreeSpaceExW(at.c_str(), &available, nullptr, nullptr)) {
        const DWORD error = ::GetLastError();
        const std::wstring parent = WithoutTrailingSeparators(ParentOf(at));
        if ((error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND &&
             error != ERROR_DIRECTORY) ||
            parent.empty() || parent == at)
            return std::nullopt;
        at = parent;
    }
    DiskSpace space{available.QuadPart, 4096};
    wchar_t volume[MAX_PATH + 1] = {};
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (::GetVolumePathNameW(at.c_str(), volume, MAX_PATH + 1) &&
        ::GetDiskFreeSpaceW(volume, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                            &clusters) &&
        sectorsPerCluster * bytesPerSector != 0)
        space.blockSize = std::uint64_t{sectorsPerCluster} * bytesPerSector;
    return space;
}

void ForEachFile(
    const std::string& folder,
    const std::function<void(const std::string& path, const std::string& name)>& visit) {
    Walk(Utf8ToWide(folder), visit);
}

unsigned PermittedModeBits() {
    return 0777;
}

}  // namespace platform
