#include "platform/codepage.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/ascii_case.h"
#include "platform/utf16.h"

namespace platform {
namespace {

constexpr const char* kDefaultCodePage = "GBK";
constexpr UINT kDefaultNumber = 936;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

struct NamedCodePage {
    const char* name;
    UINT number;
};

// The names QUEND_CODEPAGE takes on Linux (iconv's), for the code pages a game's texts come in.
constexpr NamedCodePage kNames[] = {
    {"GBK", 936},         {"GB2312", 936},    {"CP936", 936},         {"BIG5", 950},
    {"CP950", 950},       {"SHIFT_JIS", 932}, {"SJIS", 932},          {"CP932", 932},
    {"EUC-KR", 949},      {"CP949", 949},     {"LATIN1", 28591},      {"ISO-8859-1", 28591},
    {"ISO8859-1", 28591}, {"CP1252", 1252},   {"WINDOWS-1252", 1252}, {"UTF-8", CP_UTF8},
    {"UTF8", CP_UTF8},    {"ASCII", 20127},
};

// A known name, "CP" or "WINDOWS-" and a number, or a bare number; 0 when none of these.
UINT NumberOf(const std::string& name) {
    for (const NamedCodePage& known : kNames) {
        if (EqualsNoCase(name, known.name))
            return known.number;
    }
    std::string_view digits = name;
    for (std::string_view prefix : {"CP", "WINDOWS-"}) {
        if (StartsWithNoCase(digits, prefix))
            digits.remove_prefix(prefix.size());
    }
    if (digits.empty() || digits.size() > 5 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    return static_cast<UINT>(std::atoi(std::string(digits).c_str()));
}

struct CodePage {
    std::string name;
    UINT number;
};

// The configured code page when the system has it, else GBK.
CodePage Configured() {
    const char* configured = std::getenv("QUEND_CODEPAGE");
    if (configured != nullptr && *configured != '\0') {
        const UINT number = NumberOf(configured);
        if (number != 0 && ::IsValidCodePage(number))
            return {configured, number};
    }
    return {kDefaultCodePage, kDefaultNumber};
}

// Converts the character at the start of `ansi` (1 to `maxLength` bytes); answers the bytes used,
// 0 when no length forms a character.
std::size_t DecodeOne(UINT codePage, std::string_view ansi, std::size_t maxLength,
                      std::wstring& out) {
    for (std::size_t length = 1; length <= std::min(maxLength, ansi.size()); ++length) {
        wchar_t wide[4];
        const int count = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, ansi.data(),
                                                static_cast<int>(length), wide, 4);
        if (count > 0) {
            out.append(wide, static_cast<std::size_t>(count));
            return length;
        }
    }
    return 0;
}

// Characters one by one, so that each undecodable byte becomes one U+FFFD.
std::string DecodeByCharacter(UINT codePage, std::string_view ansi) {
    CPINFO info{};
    const std::size_t maxLength =
        ::GetCPInfo(codePage, &info) ? std::max<std::size_t>(info.MaxCharSize, 1) : 4;
    std::string out;
    std::wstring run;
    while (!ansi.empty()) {
        const std::size_t used = DecodeOne(codePage, ansi, maxLength, run);
        if (used > 0) {
            ansi.remove_prefix(used);
            continue;
        }
        out += WideToUtf8(run);
        run.clear();
        out.append(kReplacement);
        ansi.remove_prefix(1);
    }
    return out + WideToUtf8(run);
}

std::string Decode(UINT codePage, std::string_view ansi) {
    if (ansi.empty())
        return {};
    const int size = static_cast<int>(ansi.size());
    const int count =
        ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, ansi.data(), size, nullptr, 0);
    if (count <= 0)
        return DecodeByCharacter(codePage, ansi);
    std::wstring wide(static_cast<std::size_t>(count), L'\0');
    ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, ansi.data(), size, wide.data(), count);
    return WideToUtf8(wide);
}

// One character (one or two UTF-16 units); "?" when the code page lacks it.
void EncodeOne(UINT codePage, std::wstring_view character, std::string& out) {
    char bytes[16];
    BOOL usedDefault = FALSE;
    const bool utf8 = codePage == CP_UTF8;
    const int count =
        ::WideCharToMultiByte(codePage, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, character.data(),
                              static_cast<int>(character.size()), bytes, sizeof bytes,
                              utf8 ? nullptr : "?", utf8 ? nullptr : &usedDefault);
    if (count <= 0 || usedDefault) {
        out.push_back('?');
    } else {
        out.append(bytes, static_cast<std::size_t>(count));
    }
}

std::string Encode(UINT codePage, std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    while (!utf8.empty()) {
        const auto lead = static_cast<unsigned char>(utf8.front());
        if (lead < 0x80) {
            out.push_back(utf8.front());
            utf8.remove_prefix(1);
            continue;
        }
        const std::size_t length = Utf8SequenceLength(utf8);
        if (length == 0) {
            // A byte that is not UTF-8 becomes one "?".
            out.push_back('?');
            utf8.remove_prefix(1);
            continue;
        }
        EncodeOne(codePage, Utf8ToWide(utf8.substr(0, length)), out);
        utf8.remove_prefix(length);
    }
    return out;
}

}  // namespace

std::string AnsiCodePage() {
    return Configured().name;
}

std::string AnsiToUtf8(std::string_view ansi) {
    return Decode(Configured().number, ansi);
}

std::string Utf8ToAnsi(std::string_view utf8) {
    return Encode(Configured().number, utf8);
}

}  // namespace platform
