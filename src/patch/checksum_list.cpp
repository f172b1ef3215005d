#include "patch/checksum_list.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>

#include "platform/codepage.h"
#include "platform/local_time.h"
#include "platform/paths.h"

namespace patch {

namespace {

constexpr std::string_view kAllListName = "checksum_all.md5";
constexpr std::string_view kListPrefix = "checksum_";
constexpr std::string_view kListSuffix = ".md5";
// Widest numbers a packed version holds: major in 4 bits, minor and patch in 14.
constexpr unsigned kVersionLimits[] = {15, 16383, 16383};

std::string VersionListName(unsigned major, unsigned minor, unsigned patch) {
    return std::string(kListPrefix) + std::to_string(major) + "_" + std::to_string(minor) + "_" +
           std::to_string(patch) + std::string(kListSuffix);
}

std::optional<unsigned> VersionNumber(std::string_view text, unsigned limit) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > limit)
        return std::nullopt;
    return value;
}

// The three numbers of `version`, `separator` between them.
std::optional<std::string> ListNameOf(std::string_view version, char separator) {
    unsigned numbers[3] = {};
    for (std::size_t i = 0; i < 3; ++i) {
        const std::size_t end = i < 2 ? version.find(separator) : version.size();
        if (end == std::string_view::npos)
            return std::nullopt;
        const std::optional<unsigned> number =
            VersionNumber(version.substr(0, end), kVersionLimits[i]);
        if (!number)
            return std::nullopt;
        numbers[i] = *number;
        version.remove_prefix(std::min(version.size(), end + 1));
    }
    return VersionListName(numbers[0], numbers[1], numbers[2]);
}

// A list line, text mode: the CR of a CRLF ending does not belong to it.
bool ReadLine(std::istream& in, std::string& line) {
    if (!std::getline(in, line))
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

}  // namespace

int ParseChecksumLine(std::string line, _filelist& entry) {
    if (line.empty())
        return 0;
    std::size_t position = 0;
    const auto next = [&line, &position]() -> std::string {
        position = std::min(line.find_first_not_of('|', position), line.size());
        const std::size_t end = std::min(line.find('|', position), line.size());
        std::string token = line.substr(position, end - position);
        position = end;
        return token;
    };
    entry.fileName = next();
    entry.extra = next();
    entry.md5 = next();
    entry.modifiedTime = ReadListTime(next());
    entry.fileSize = std::strtoll(next().c_str(), nullptr, 10);
    return 1;
}

std::string FormatChecksumLine(const _filelist& entry) {
    return entry.fileName + "|" + (entry.extra.empty() ? "0" : entry.extra) + "|" + entry.md5 +
           "|" + FormatListTime(entry.modifiedTime) + "|" + std::to_string(entry.fileSize) + "\r\n";
}

std::int64_t ReadListTime(const std::string& text) {
    unsigned short year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (std::sscanf(text.c_str(), "%hu-%hu-%hu %hu:%hu:%hu", &year, &month, &day, &hour, &minute,
                    &second) != 6)
        return 0;
    if (year < 1900 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
        second > 59)
        return 0;
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;
    const std::time_t time = std::mktime(&fields);
    return time == static_cast<std::time_t>(-1) ? 0 : static_cast<std::int64_t>(time);
}

std::string FormatListTime(std::int64_t time) {
    const auto seconds = static_cast<std::time_t>(time);
    std::tm local{};
    if (!platform::LocalTime(seconds, local) || local.tm_year < 0)
        return "0000-00-00 00:00:00";
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

bool IsSafeListPath(const std::string& name) {
    if (name.empty() || name.front() == '\\' || name.front() == '/' ||
        name.find_first_of(std::string(":\0", 2)) != std::string::npos)
        return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("\\/", start);
        if (end == std::string::npos)
            end = name.size();
        if (name.compare(start, end - start, "..") == 0)
            return false;
        start = end + 1;
    }
    return true;
}

std::string ChecksumListName(std::uint32_t localVersion, std::uint32_t serverVersion) {
    if (localVersion != serverVersion)
        return std::string(kAllListName);
    return VersionListName(localVersion >> 28, (localVersion >> 14) & 0x3FFFu,
                           localVersion & 0x3FFFu);
}

std::optional<std::string> ChecksumListNameOf(std::string_view version) {
    if (version.empty())
        return std::string(kAllListName);
    return ListNameOf(version, '.');
}

bool IsChecksumListName(std::string_view name) {
    if (name == kAllListName)
        return true;
    if (!name.starts_with(kListPrefix) || !name.ends_with(kListSuffix))
        return false;
    const std::string_view version =
        name.substr(kListPrefix.size(), name.size() - kListPrefix.size() - kListSuffix.size());
    return ListNameOf(version, '_') == name;
}

std::optional<std::vector<_filelist>> ReadChecksumList(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::vector<_filelist> entries;
    _filelist entry;  // one working entry, reused from line to line
    std::string line;
    while (ReadLine(in, line)) {
        if (ParseChecksumLine(line, entry))
            entries.push_back(entry);
    }
    if (in.bad())
        return std::nullopt;
    return entries;
}

std::string ListNameToUtf8(const std::string& name) {
    // Seven-bit text reads the same in every ANSI code page and in UTF-8; most names are such,
    // and a conversion costs a converter of its own each time.
    if (std::all_of(name.begin(), name.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return name;
    std::string utf8 = platform::AnsiToUtf8(name);
    return utf8.empty() ? name : utf8;
}

std::string LocalListPath(const std::string& gameDir, const std::string& fileName) {
    return platform::JoinNativePath(gameDir, ListNameToUtf8(fileName));
}

}  // namespace patch
