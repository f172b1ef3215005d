#include "platform/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {
namespace {

constexpr std::size_t npos = std::string_view::npos;
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
// Windows writes new files with CR LF; so do we.
constexpr std::string_view kNewFileLineEnd = "\r\n";

// Closes its descriptor when it goes.
class FileHandle final {
public:
    explicit FileHandle(int fd) : m_fd(fd) {}
    FileHandle(FileHandle&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    FileHandle& operator=(FileHandle&&) = delete;
    ~FileHandle() {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool valid() const { return m_fd >= 0; }
    int get() const { return m_fd; }
    // Closes now so that a failing close (a late write error) can be seen.
    bool Close() { return ::close(std::exchange(m_fd, -1)) == 0; }

private:
    int m_fd;
};

// A carriage return that does not end a line counts as a blank too: adding a line end after a
// last line ending in one must not change what that line says.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiLower(x) == AsciiLower(y);
           });
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != npos;
}

// One line of the file: its text, and its line end ("\r\n", "\n", or "" on a last line without).
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

std::vector<Line> SplitLines(std::string_view content) {
    std::vector<Line> lines;
    while (!content.empty()) {
        const std::size_t lf = content.find('\n');
        if (lf == npos) {
            lines.push_back({content, {}});
            break;
        }
        const std::size_t textEnd = lf > 0 && content[lf - 1] == '\r' ? lf - 1 : lf;
        lines.push_back({content.substr(0, textEnd), content.substr(textEnd, lf + 1 - textEnd)});
        content.remove_prefix(lf + 1);
    }
    return lines;
}

Entry ParseLine(std::string_view text) {
    const std::string_view line = Trim(text);
    if (line.empty() || line.front() == ';')
        return {};
    if (line.front() == '[') {
        const std::size_t close = line.rfind(']');
        if (close == npos)
            return {};
        return {LineKind::kSection, Trim(line.substr(1, close - 1)), {}};
    }
    const std::size_t equals = line.find('=');
    if (equals == npos)
        return {};
    return {LineKind::kKey, Trim(line.substr(0, equals)), Trim(line.substr(equals + 1))};
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
        if (SameName(lines[i].entry.name, name))
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
        if (entry.kind == LineKind::kKey && SameName(entry.name, key))
            return i;
    }
    return std::nullopt;
}

void AddName(std::vector<std::string_view>& names, std::string_view name) {
    const auto same = [name](std::string_view other) { return SameName(other, name); };
    if (std::none_of(names.begin(), names.end(), same))
        names.push_back(name);
}

std::vector<std::string_view> SectionNames(const std::vector<ParsedLine>& lines) {
    std::vector<std::string_view> names;
    for (const ParsedLine& line : lines) {
        if (line.entry.kind == LineKind::kSection && !line.entry.name.empty()) {
            AddName(names, line.entry.name);
        }
    }
    return names;
}

std::vector<std::string_view> KeyNames(const std::vector<ParsedLine>& lines, Section section) {
    std::vector<std::string_view> names;
    for (std::size_t i = section.first(); i < section.end; ++i) {
        if (lines[i].entry.kind == LineKind::kKey)
            AddName(names, lines[i].entry.name);
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

std::size_t CopyText(std::string_view text, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0)
        return 0;
    const std::size_t count = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
    return count;
}

// Names each ended by a null, the list by a second null; a cut list still ends in two nulls.
std::size_t CopyList(const std::vector<std::string_view>& names, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0)
        return 0;
    std::string list;
    for (std::string_view name : names) {
        list.append(name);
        list.push_back('\0');
    }
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

// Reads a whole regular file; answers nullopt with errno set when it cannot.
std::optional<std::string> ReadAll(const std::string& path, struct stat* info) {
    FileHandle fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid() || ::fstat(fd.get(), info) != 0)
        return std::nullopt;
    if (!S_ISREG(info->st_mode)) {
        errno = EINVAL;
        return std::nullopt;
    }
    std::string content;
    content.reserve(static_cast<std::size_t>(info->st_size));
    char chunk[16384];
    for (;;) {
        const ssize_t got = ::read(fd.get(), chunk, sizeof chunk);
        if (got == 0)
            return content;
        if (got < 0 && errno != EINTR)
            return std::nullopt;
        if (got > 0)
            content.append(chunk, static_cast<std::size_t>(got));
    }
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = ::write(fd, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

// A new file in the folder of `target`, created with the usual 0666 less umask. Its name is
// short so that a target with a name near the length limit can still be replaced.
FileHandle CreateTempBeside(const std::filesystem::path& target, std::string* tempPath) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, ".profile-%08x.tmp", static_cast<unsigned>(random()));
        std::filesystem::path temp = target;
        temp.replace_filename(name);
        FileHandle fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd.valid() || errno != EEXIST) {
            *tempPath = temp.string();
            return fd;
        }
    }
    return FileHandle(-1);
}

// Writes a temporary file and renames it over `path`, so readers see the old or the new file,
// never a half-written one.
bool ReplaceFile(const std::string& path, std::string_view bytes, std::optional<mode_t> mode) {
    std::string tempPath;
    FileHandle fd = CreateTempBeside(path, &tempPath);
    if (!fd.valid())
        return false;
    bool ok = WriteAll(fd.get(), bytes) && (!mode || ::fchmod(fd.get(), *mode) == 0) &&
              ::fsync(fd.get()) == 0;
    ok = fd.Close() && ok;
    ok = ok && ::rename(tempPath.c_str(), path.c_str()) == 0;
    if (!ok)
        ::unlink(tempPath.c_str());
    return ok;
}

// A symbolic link is written through, so the link stays a link.
std::string WriteTarget(const std::string& file) {
    std::error_code error;
    if (!std::filesystem::is_symlink(file, error))
        return file;
    const std::filesystem::path target = std::filesystem::canonical(file, error);
    return error ? file : target.string();
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

std::size_t ReadProfileString(const char* section, const char* key, const char* defaultValue,
                              char* buffer, std::size_t size, const std::string& file) {
    // Windows drops trailing blanks of the default as well.
    std::string_view fallback = defaultValue != nullptr ? defaultValue : "";
    while (!fallback.empty() && IsBlank(fallback.back()))
        fallback.remove_suffix(1);

    struct stat info {};
    const std::optional<std::string> content = ReadAll(file, &info);
    const std::vector<ParsedLine> lines = Parse(content ? std::string_view(*content) : "");
    if (section == nullptr)
        return CopyList(SectionNames(lines), buffer, size);

    const std::optional<Section> found = FindSection(lines, Trim(section));
    if (!found)
        return CopyText(fallback, buffer, size);
    if (key == nullptr) {
        const std::vector<std::string_view> names = KeyNames(lines, *found);
        return names.empty() ? CopyText(fallback, buffer, size) : CopyList(names, buffer, size);
    }
    const std::optional<std::size_t> index = FindKey(lines, *found, Trim(key));
    return CopyText(index ? DropQuotes(lines[*index].entry.value) : fallback, buffer, size);
}

bool WriteProfileString(const char* section, const char* key, const char* value,
                        const std::string& file) {
    if (section == nullptr || file.empty())
        return false;
    const std::string_view sectionName = Trim(section);
    if (sectionName.empty() || HasLineBreak(sectionName))
        return false;
    const std::string_view keyName = key != nullptr ? Trim(key) : std::string_view();
    if (key != nullptr && !IsWritableKey(keyName))
        return false;

    const std::string target = WriteTarget(file);
    struct stat info {};
    std::optional<std::string> content = ReadAll(target, &info);
    std::optional<mode_t> mode;
    if (content) {
        mode = info.st_mode & 07777;
    } else if (errno == ENOENT) {
        content.emplace();
    } else {
        return false;
    }

    std::optional<std::string> updated;
    if (key == nullptr) {
        updated = RemoveSection(*content, sectionName);
    } else if (value == nullptr) {
        updated = RemoveKey(*content, sectionName, keyName);
    } else {
        updated = SetValue(*content, sectionName, keyName, CleanValue(value));
    }
    if (!updated)
        return true;  // nothing to remove
    return ReplaceFile(target, *updated, mode);
}

}  // namespace platform
