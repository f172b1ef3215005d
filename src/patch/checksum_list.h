#pragma once
// The checksum-list format, both ways: one line to an entry and back, the date column, which
// names an entry may carry, the lists' file names from versions, and a whole list read from a
// file. The launcher's check pass and the publisher's tool both use it. Pure functions apart from
// the file read; any thread.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "patch/filelist.h"

namespace patch {

// Fills `entry` from one list line: 1, or 0 for an empty line (the entry then untouched). Fields
// are divided by "|"; a run of them counts as one and a leading one is skipped, so a missing
// field reads as empty and the later ones move up.
int ParseChecksumLine(std::string line, _filelist& entry);

// "fileName|extra|md5|date|size" and CR LF, the form ParseChecksumLine reads back. An empty
// `extra` is written as "0": the reader would skip an empty field.
std::string FormatChecksumLine(const _filelist& entry);

// The date column, local time "%hu-%hu-%hu %hu:%hu:%hu", to seconds since 1970 UTC. Anything that
// does not read as a whole date in range, or a year before 1900, gives 0.
std::int64_t ReadListTime(const std::string& text);
// A time as the date column "%Y-%m-%d %H:%M:%S", local time; one the reader cannot take as a date
// (before 1900) as "0000-00-00 00:00:00", which reads back as no time.
std::string FormatListTime(std::int64_t time);

// An entry may only name a file below the game folder: not empty, no absolute path, no drive,
// no NUL byte, no ".." step.
bool IsSafeListPath(const std::string& name);

// "checksum_all.md5" when the packed versions differ, else "checksum_X_Y_Z.md5" of the version.
std::string ChecksumListName(std::uint32_t localVersion, std::uint32_t serverVersion);
// The list of a version text: "checksum_all.md5" for the empty text, "checksum_X_Y_Z.md5" for
// "X.Y.Z" with X up to 15 and Y, Z up to 16383 (what a packed version holds); empty otherwise.
std::optional<std::string> ChecksumListNameOf(std::string_view version);
// True for "checksum_all.md5" and for a name ChecksumListNameOf gives.
bool IsChecksumListName(std::string_view name);

// The entries of the list file at `path`, lines cut at LF with a CR before it dropped, empty
// lines left out; empty when the file cannot be read.
std::optional<std::vector<_filelist>> ReadChecksumList(const std::string& path);

// A listed name as the file system and URLs take it: from the ANSI code page to UTF-8 (seven-bit
// names unchanged; a name that does not convert stays as it is).
std::string ListNameToUtf8(const std::string& name);
// The native path of the listed `fileName` below the native `gameDir`.
std::string LocalListPath(const std::string& gameDir, const std::string& fileName);

}  // namespace patch
