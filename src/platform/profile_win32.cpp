#include "platform/profile.h"

#include <windows.h>
// The system header maps this name to its own wide function; ours keeps its name.
#undef WriteProfileString

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/codepage.h"
#include "platform/profile_text.h"
#include "platform/utf16.h"

// The system's wide-character functions do the work, so that file names need not fit the ANSI
// code page. Their texts are converted with the code page the file's own text is in: a file with
// the UTF-16 byte-order mark holds Unicode, whose texts go to and from our ANSI code page; any
// other file the system reads and writes in its own ANSI code page (CP_ACP), so its bytes go
// through that one and come back as they were, whatever our code page is.

namespace platform {
namespace {

constexpr std::size_t kFirstBufferSize = 1024;
constexpr std::size_t kMaxBufferSize = 1 << 24;

class UniqueHandle final {
public:
    explicit UniqueHandle(HANDLE handle) : m_handle(handle) {}
    ~UniqueHandle() {
        if (m_handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_handle);
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

// How the texts of one file are converted.
class FileTexts final {
public:
    explicit FileTexts(const std::wstring& path) : m_unicode(StartsWithUtf16Bom(path)) {}

    std::wstring ToWide(std::string_view ansi) const {
        if (m_unicode)
            return Utf8ToWide(AnsiToUtf8(ansi));
        if (ansi.empty())
            return {};
        const int size = static_cast<int>(ansi.size());
        std::wstring wide(static_cast<std::size_t>(size), L'\0');
        const int count = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, wide.data(), size);
        wide.resize(static_cast<std::size_t>(std::max(count, 0)));
        return wide;
    }

    std::string FromWide(std::wstring_view wide) const {
        if (m_unicode)
            return Utf8ToAnsi(WideToUtf8(wide));
        if (wide.empty())
            return {};
        const int size = static_cast<int>(wide.size());
        const int count =
            ::WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
        std::string ansi(static_cast<std::size_t>(std::max(count, 0)), '\0');
        ::WideCharToMultiByte(CP_ACP, 0, wide.data(), size, ansi.data(), count, nullptr, nullptr);
        return ansi;
    }

private:
    static bool StartsWithUtf16Bom(const std::wstring& path) {
        const UniqueHandle file(::CreateFileW(
            path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, 0, nullptr));
        unsigned char bom[2] = {};
        DWORD got = 0;
        return file.get() != INVALID_HANDLE_VALUE &&
               ::ReadFile(file.get(), bom, sizeof bom, &got, nullptr) && got == 2 &&
               bom[0] == 0xFF && bom[1] == 0xFE;
    }

    bool m_unicode;
};

// The system looks for a file named without a folder in the Windows folder; ours is relative to
// the working folder, as on Linux.
std::wstring FullPath(const std::string& file) {
    const std::wstring wide = Utf8ToWide(file);
    const DWORD size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return wide;
    std::wstring full(size, L'\0');
    const DWORD length = ::GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    full.resize(length < size ? length : 0);
    return full.empty() ? wide : full;
}

const wchar_t* OrNull(const std::optional<std::wstring>& text) {
    return text ? text->c_str() : nullptr;
}

// The whole answer of the system's reader: a value, or a name list with its ending nulls.
std::wstring ReadWhole(const wchar_t* section, const wchar_t* key, const wchar_t* fallback,
                       const std::wstring& path) {
    const std::size_t cut = section == nullptr || key == nullptr ? 2 : 1;
    for (std::size_t size = kFirstBufferSize;; size *= 2) {
        std::wstring buffer(size, L'\0');
        const DWORD count = ::GetPrivateProfileStringW(section, key, fallback, buffer.data(),
                                                       static_cast<DWORD>(size), path.c_str());
        if (count + cut < size || size >= kMaxBufferSize) {
            buffer.resize(std::min<std::size_t>(count, size));
            return buffer;
        }
    }
}

// The names of a list, each with its ending null, converted one by one.
std::string ListFromWide(const FileTexts& texts, std::wstring_view list) {
    std::string out;
    while (!list.empty() && list.front() != L'\0') {
        const std::size_t end = std::min(list.find(L'\0'), list.size());
        out += texts.FromWide(list.substr(0, end));
        out.push_back('\0');
        list.remove_prefix(std::min(end + 1, list.size()));
    }
    return out;
}

}  // namespace

std::size_t ReadProfileString(const char* section, const char* key, const char* defaultValue,
                              char* buffer, std::size_t size, const std::string& file) {
    const std::wstring path = FullPath(file);
    const FileTexts texts(path);
    // The default is the caller's own text, converted only to come back as it was.
    std::string_view fallback = defaultValue != nullptr ? defaultValue : "";
    while (!fallback.empty() && (fallback.back() == ' ' || fallback.back() == '\t'))
        fallback.remove_suffix(1);

    std::optional<std::wstring> wideSection;
    std::optional<std::wstring> wideKey;
    if (section != nullptr)
        wideSection = texts.ToWide(section);
    if (key != nullptr)
        wideKey = texts.ToWide(key);
    static constexpr wchar_t kNoValue[] = L"\x1\x2";  // what no file can answer
    const std::wstring answer = ReadWhole(OrNull(wideSection), OrNull(wideKey), kNoValue, path);
    if (answer == kNoValue)
        return CopyProfileText(fallback, buffer, size);
    if (section == nullptr || key == nullptr)
        return CopyProfileList(ListFromWide(texts, answer), buffer, size);
    return CopyProfileText(texts.FromWide(answer), buffer, size);
}

bool WriteProfileString(const char* section, const char* key, const char* value,
                        const std::string& file) {
    const std::optional<ProfileWrite> write = CleanProfileWrite(section, key, value);
    if (file.empty() || !write)
        return false;
    const std::wstring path = FullPath(file);
    const FileTexts texts(path);
    std::optional<std::wstring> wideKey;
    std::optional<std::wstring> wideValue;
    if (write->key)
        wideKey = texts.ToWide(*write->key);
    if (write->value)
        wideValue = texts.ToWide(*write->value);
    return ::WritePrivateProfileStringW(texts.ToWide(write->section).c_str(), OrNull(wideKey),
                                        OrNull(wideValue), path.c_str()) != FALSE;
}

}  // namespace platform
