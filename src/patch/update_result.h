#pragma once
// What became of one queued file, and of a whole check pass: plain values that the download
// thread hands to the thread that waited for them.

#include <string>

// The end of one queued file.
struct FileOutcome {
    enum class Kind {
        Fetched,       // in place, whole and with the listed digest
        ServerFailed,  // the server did not deliver it as listed; the old file stands
        LocalFailed,   // it could not be written into the game folder; the old file stands
    };
    Kind kind = Kind::Fetched;
    std::string path;    // the local file, native form (UTF-8)
    std::string reason;  // why it failed, for people (the system's text for local failures)

    bool Failed() const { return kind != Kind::Fetched; }
};

// The end of a check pass that ran to the end of its list.
struct UpdateResult {
    int failedFiles = 0;
    std::string firstFailed;  // listed name of the first file that failed (ANSI code page)
    FileOutcome firstLocal;   // the first file that could not be written, if any
};
