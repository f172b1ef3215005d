#pragma once
// Where a listed file's download keeps its bytes until they are whole: a hidden part file beside
// the target whose name carries the listed digest and size, so that a later attempt finds it and
// goes on where it ended, and a list that changed the file leaves it unowned. Pure functions apart
// from the clean-up; any thread.

#include <string>
#include <string_view>
#include <unordered_set>

#include "patch/filelist.h"

namespace patch {

// The beginning of every part file's name; the checksum list's own download uses it with six
// random characters.
inline constexpr std::string_view kPartPrefix = ".quend-part-";

// ".quend-part-<digest>-<size>-<tag>" in the folder of the native `target`, the tag naming the
// target among files of equal content; empty when the entry's digest is not 32 hexadecimal
// digits (such a download starts afresh every time).
std::string ResumePartPath(const std::string& target, const _filelist& entry);

// True for names of either kind of part file.
bool IsPartFileName(std::string_view name);

// Removes every part file below `gameDir` whose full path is not in `owned`, and answers the
// owned ones that are there (their paths as `owned` gives them). Only while no download writes
// there.
std::unordered_set<std::string> RemoveUnownedParts(const std::string& gameDir,
                                                   const std::unordered_set<std::string>& owned);

}  // namespace patch
