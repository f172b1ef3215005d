#pragma once
// What became of one queued file, and of a whole check pass: plain values that the engine hands
// to whoever waits for them, a window or a program without one.

#include <cstdint>
#include <string>
#include <vector>

namespace patch {

// The end of one queued file.
struct FileOutcome {
    enum class Kind {
        Fetched,       // in place, whole and with the listed digest
        ServerFailed,  // the server did not deliver it as listed; the old file stands
        LocalFailed,   // it could not be written into the game folder; the old file stands
        Cancelled,     // the engine stopped first; the old file stands
    };
    Kind kind = Kind::Fetched;
    std::string path;    // the local file, native form (UTF-8)
    std::string reason;  // why it failed, for people (the system's text for local failures)

    bool Failed() const { return kind != Kind::Fetched; }
};

// The end of a check pass that ran to the end of its list.
struct UpdateResult {
    int failedFiles = 0;      // files still not as listed: not fetched, or fetched wrongly
    std::string firstFailed;  // listed name of the first of them in list order (ANSI code page)
    std::string firstReason;  // why that one failed, for people
    FileOutcome firstLocal;   // the first file that could not be written, if any
    // Listed names (ANSI code page) of the files the pass found differing, in list order.
    std::vector<std::string> differing;
    int checkedFiles = 0;  // listed files compared with the game folder
    int fetchedFiles = 0;
    std::uint64_t fetchedBytes = 0;  // bodies received, resumed files counting what came anew
    std::uint64_t resumedBytes = 0;  // bytes of part files that were not fetched again
    // Set when the game folder's file system could not take the files to fetch, so none was.
    std::uint64_t spaceNeeded = 0;
    std::uint64_t spaceFree = 0;

    bool NoSpace() const { return spaceNeeded > spaceFree; }
};

// "123 KB", "4.5 MB", "1.2 GB" (binary units), as the texts show sizes.
std::string FormatByteSize(std::uint64_t bytes);

// The status line of a pass refused for want of space, UTF-8: the "Error" text "DiskSpaceShort"
// of the language file, or a built-in one, with {needed} and {free} filled. GUI thread, as the
// text table is.
std::string DiskSpaceText(const UpdateResult& result);

}  // namespace patch
