#include "platform/profile_text.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/codepage.h"
#include "platform/utf16.h"

namespace platform {
namespace {

constexpr std::size_t npos = std::string_view::npos;
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
// Windows writes new files with CR LF; so do we.
constexpr std::string_view kNewFileLineEnd = "\r\n";

// The system counts the other ASCII spaces as blanks too, and the old end-of-file mark Ctrl-Z.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1A';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The system keeps names and values as C strings: a NUL ends them.
std::string_view UpToNul(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != npos;
}

// The file's text as the rules see it: its bytes, or its UTF-16 as UTF-8.
enum class Encoding { kBytes, kUtf16Le };

struct FileText {
    Encoding encoding = Encoding::kBytes;
    std::string text;
};

FileText Decode(std::string_view content) {
    if (!content.starts_with(kUtf16LeBom))
        return {Encoding::kBytes, std::string(content)};
    content.remove_prefix(kUtf16LeBom.size());
    std::u16string units(content.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(content[2 * i]) |
                                         static_cast<unsigned char>(content[2 * i + 1]) << 8);
    }
    return {Encoding::kUtf16Le, Utf16ToUtf8(units)};
}

std::string Encode(Encoding encoding, std::string_view text) {
    if (encoding == Encoding::kBytes)
        return std::string(text);
    std::string out(kUtf16LeBom);
    for (const char16_t unit : Utf8ToUtf16(text)) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    }
    return out;
}

// A caller's text (ANSI) as the file's text, and back.
std::string ToFile(Encoding encoding, std::string_view ansi) {
    return encoding == Encoding::kUtf16Le ? AnsiToUtf8(ansi) : std::string(ansi);
}

std::string FromFile(Encoding encoding, std::string_view text) {
    return encoding == Encoding::kUtf16Le ? Utf8ToAnsi(text) : std::string(text);
}

// One line of the file: its text, and its line end ("\r\n", "\n", a lone "\r", or "" on a last
// line without).
struct Line {
    std::string_view text;
    std::string_view end;
};

enum class LineKind { kOther, kSection, kKey };

// What a line means: a section header with its name, a key with its name and value (both
// trimmed, quotes still on), or anything else (blank, comment, stray text).
struct Entry {
    LineKind kind = LineKind::kOther;
    std::string_view name;
    std::string_view value;
};

struct ParsedLine {
    Line line;
    Entry entry;
};

// A lone CR ends a line as CR LF and LF do, as the system's reader takes it.
std::vector<Line> SplitLines(std::string_view content) {
    std::vector<Line> lines;
    while (!content.empty()) {
        const std::size_t brk = content.find_first_of("\r\n");
        if (brk == npos) {
            lines.push_back({content, {}});
            break;
        }
        const std::size_t endLength = content.substr(brk, 2) == "\r\n" ? 2 : 1;
        lines.push_back({content.substr(0, brk), content.substr(brk, endLength)});
        content.remove_prefix(brk + endLength);
    }
    return lines;
}

Entry ParseLine(std::string_view text) {
    const std::string_view line = Trim(text);
    if (line.empty() || line.front() == ';')
        return {};
    // A "[" without its "]" starts no section: such a line may still be a key.
    const std::size_t close = line.rfind(']');
    if (line.front() == '[' && close != npos)
        return {LineKind::kSection, UpToNul(Trim(line.substr(1, close - 1))), {}};
    const std::size_t equals = line.find('=');
    if (equals == npos)
        return {};
    return {LineKind::kKey, UpToNul(Trim(line.substr(0, equals))),
            UpToNul(Trim(line.substr(equals + 1)))};
}

std::vector<ParsedLine> Parse(std::string_view content) {
    std::vector<ParsedLine> parsed;
    for (const Line& line : SplitLines(content)) {
        std::string_view text = line.text;
        if (parsed.empty() && text.starts_with(kUtf8Bom))
            text.remove_prefix(kUtf8Bom.size());
        parsed.push_back({line, ParseLine(text)});
    }
    return parsed;
}

// The lines of one section: its header (npos for the nameless part before the first header)
// and the index of the next header or the end.
struct Section {
    std::size_t header;
    std::size_t end;
    std::size_t first() const { return header == npos ? 0 : header + 1; }
};

// The first section of that name wins, as with Windows.
std::optional<Section> FindSection(const std::vector<ParsedLine>& lines, std::string_view name) {
    std::optional<Section> found;
    if (name.empty())
        found = Section{npos, 0};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].entry.kind != LineKind::kSection)
            continue;
        if (found) {
            found->end = i;
            return found;
        }
        if (EqualsNoCase(lines[i].entry.name, name))
            found = Section{i, 0};
    }
    if (found)
        found->end = lines.size();
    return found;
}

std::optional<std::size_t> FindKey(const std::vector<ParsedLine>& lines, Section section,
                                   std::string_view key) {
    for (std::size_t i = section.first(); i < section.end; ++i) {
        const Entry& entry = lines[i].entry;
        if (entry.kind == LineKind::kKey && EqualsNoCase(entry.name, key))
            return i;
    }
    return std::nullopt;
}

// Name lists hold every occurrence, as the system's do; a name may be there twice.
std::vector<std::string_view> SectionNames(const std::vector<ParsedLine>& lines) {
    std::vector<std::string_view> names;
    for (const ParsedLine& line : lines) {
        if (line.entry.kind == LineKind::kSection && !line.entry.name.empty())
            names.push_back(line.entry.name);
    }
    return names;
}

// The system's key list ends at a key without a name ("=" first); lookups still find the keys
// after it.
std::vector<std::string_view> KeyNames(const std::vector<ParsedLine>& lines, Section section) {
    std::vector<std::string_view> names;
    for (std::size_t i = section.first(); i < section.end; ++i) {
        if (lines[i].entry.kind != LineKind::kKey)
            continue;
        if (lines[i].entry.name.empty())
            break;
        names.push_back(lines[i].entry.name);
    }
    return names;
}

std::string_view DropQuotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// Names each ended by a null, in the caller's code page.
std::string JoinNames(Encoding encoding, const std::vector<std::string_view>& names) {
    std::string list;
    for (std::string_view name : names) {
        list.append(FromFile(encoding, name));
        list.push_back('\0');
    }
    return list;
}

std::string_view LineEndOf(const std::vector<ParsedLine>& lines) {
    for (const ParsedLine& line : lines) {
        if (!line.line.end.empty())
            return line.line.end;
    }
    return kNewFileLineEnd;
}

void AppendLines(std::string& out, const std::vector<ParsedLine>& lines, std::size_t from,
                 std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
        out.append(lines[i].line.text);
        out.append(lines[i].line.end);
    }
}

// The key line with only its value changed: the key and the blanks around "=" stay.
std::string ReplaceValue(std::string_view keyLine, std::string_view value) {
    std::size_t start = keyLine.find('=') + 1;
    while (start < keyLine.size() && IsBlank(keyLine[start]))
        ++start;
    std::string line(keyLine.substr(0, start));
    line.append(value);
    return line;
}

std::string SetValue(std::string_view content, std::string_view section, std::string_view key,
                     std::string_view value) {
    const std::vector<ParsedLine> lines = Parse(content);
    const std::string_view eol = LineEndOf(lines);
    const std::string keyLine = std::string(key) + "=" + std::string(value);
    std::string out;
    const std::optional<Section> found = FindSection(lines, section);
    if (!found) {
        out.assign(content);
        if (!lines.empty() && lines.back().line.end.empty())
            out.append(eol);
        out.append("[").append(section).append("]").append(eol);
        out.append(keyLine).append(eol);
        return out;
    }
    if (const std::optional<std::size_t> index = FindKey(lines, *found, key)) {
        AppendLines(out, lines, 0, *index);
        out.append(ReplaceValue(lines[*index].line.text, value));
        out.append(lines[*index].line.end);
        AppendLines(out, lines, *index + 1, lines.size());
        return out;
    }
    std::size_t last = found->header;
    for (std::size_t i = found->first(); i < found->end; ++i) {
        if (!Trim(lines[i].line.text).empty())
            last = i;
    }
    AppendLines(out, lines, 0, last);
    out.append(lines[last].line.text);
    out.append(lines[last].line.end.empty() ? eol : lines[last].line.end);
    out.append(keyLine).append(eol);
    AppendLines(out, lines, last + 1, lines.size());
    return out;
}

// Removes lines [from, to); nullopt when there is nothing to remove.
std::optional<std::string> RemoveLines(const std::vector<ParsedLine>& lines, std::size_t from,
                                       std::size_t to) {
    if (from >= to)
        return std::nullopt;
    std::string out;
    AppendLines(out, lines, 0, from);
    AppendLines(out, lines, to, lines.size());
    return out;
}

std::optional<std::string> RemoveSection(std::string_view content, std::string_view section) {
    const std::vector<ParsedLine> lines = Parse(content);
    const std::optional<Section> found = FindSection(lines, section);
    if (!found)
        return std::nullopt;
    return RemoveLines(lines, found->header, found->end);
}

std::optional<std::string> RemoveKey(std::string_view content, std::string_view section,
                                     std::string_view key) {
    const std::vector<ParsedLine> lines = Parse(content);
    const std::optional<Section> found = FindSection(lines, section);
    if (!found)
        return std::nullopt;
    const std::optional<std::size_t> index = FindKey(lines, *found, key);
    if (!index)
        return std::nullopt;
    return RemoveLines(lines, *index, *index + 1);
}

// A key the reader could not find again is refused rather than written.
bool IsWritableKey(std::string_view key) {
    return !HasLineBreak(key) && key.find('=') == npos &&
           (key.empty() || (key.front() != ';' && key.front() != '['));
}

// A value holding a line break would add lines of its own; it is cut there.
std::string_view CleanValue(std::string_view value) {
    value = value.substr(0, value.find_first_of("\r\n"));
    while (!value.empty() && IsBlank(value.front()))
        value.remove_prefix(1);
    return value;
}

}  // namespace

std::size_t ReadProfileText(std::string_view content, const char* section, const char* key,
                            const char* defaultValue, char* buffer, std::size_t size) {
    // Windows drops trailing blanks of the default as well.
    std::string_view fallback = defaultValue != nullptr ? defaultValue : "";
    while (!fallback.empty() && IsBlank(fallback.back()))
        fallback.remove_suffix(1);

    const FileText file = Decode(content);
    const std::vector<ParsedLine> lines = Parse(file.text);
    if (section == nullptr)
        return CopyProfileList(JoinNames(file.encoding, SectionNames(lines)), buffer, size);

    const std::optional<Section> found = FindSection(lines, ToFile(file.encoding, Trim(section)));
    if (!found)
        return CopyProfileText(fallback, buffer, size);
    if (key == nullptr) {
        const std::vector<std::string_view> names = KeyNames(lines, *found);
        return names.empty() ? CopyProfileText(fallback, buffer, size)
                             : CopyProfileList(JoinNames(file.encoding, names), buffer, size);
    }
    const std::optional<std::size_t> index =
        FindKey(lines, *found, ToFile(file.encoding, Trim(key)));
    if (!index)
        return CopyProfileText(fallback, buffer, size);
    return CopyProfileText(FromFile(file.encoding, DropQuotes(lines[*index].entry.value)), buffer,
                           size);
}

std::optional<ProfileWrite> CleanProfileWrite(const char* section, const char* key,
                                              const char* value) {
    if (section == nullptr)
        return std::nullopt;
    const std::string_view sectionName = Trim(section);
    if (sectionName.empty() || HasLineBreak(sectionName))
        return std::nullopt;
    ProfileWrite write{std::string(sectionName), std::nullopt, std::nullopt};
    if (key == nullptr)
        return write;
    const std::string_view keyName = Trim(key);
    if (!IsWritableKey(keyName))
        return std::nullopt;
    write.key = std::string(keyName);
    if (value != nullptr)
        write.value = std::string(CleanValue(value));
    return write;
}

ProfileEdit EditProfileText(std::string_view content, const char* section, const char* key,
                            const char* value, std::string* updated) {
    const std::optional<ProfileWrite> write = CleanProfileWrite(section, key, value);
    if (!write)
        return ProfileEdit::kRefused;
    const FileText file = Decode(content);
    if (file.encoding != Encoding::kBytes && Encode(file.encoding, file.text) != content)
        return ProfileEdit::kRefused;
    const std::string fileSection = ToFile(file.encoding, write->section);
    std::optional<std::string> result;
    if (!write->key) {
        result = RemoveSection(file.text, fileSection);
    } else if (!write->value) {
        result = RemoveKey(file.text, fileSection, ToFile(file.encoding, *write->key));
    } else {
        result = SetValue(file.text, fileSection, ToFile(file.encoding, *write->key),
                          ToFile(file.encoding, *write->value));
    }
    if (!result)
        return ProfileEdit::kUnchanged;
    *updated = Encode(file.encoding, *result);
    return ProfileEdit::kChanged;
}

std::size_t CopyProfileText(std::string_view text, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0)
        return 0;
    const std::size_t count = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
    return count;
}

std::size_t CopyProfileList(std::string_view list, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0)
        return 0;
    if (list.size() + 1 <= size) {
        std::memcpy(buffer, list.data(), list.size());
        buffer[list.size()] = '\0';
        if (list.empty() && size > 1)
            buffer[1] = '\0';
        return list.size();
    }
    if (size == 1) {
        buffer[0] = '\0';
        return 0;
    }
    std::memcpy(buffer, list.data(), size - 2);
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
    return size - 2;
}

}  // namespace platform
