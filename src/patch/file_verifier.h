#pragma once
// Which listed files the game folder holds as listed: sizes first, for all files at once, then
// the digests of the files of the right size on a small pool of threads sized to the machine,
// each digesting many files side by side (CMd5Lanes). Verdicts come back in list order. Files are
// read a block at a time, never whole. One caller at a time; the pool's threads live for one
// Digest call.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "patch/filelist.h"

namespace patch {

class CFileVerifier final {
public:
    enum class Verdict : char {
        Current,   // size and digest as listed
        Differs,   // missing, not a plain file, another size or digest, or unreadable
        Unsafe,    // the list names a place outside the game folder
        ToDigest,  // of the listed size; Digest decides
    };
    // Called with the bytes digested since the last call, and once more when a file is done,
    // from the pool's threads.
    using Progress = std::function<void(std::uint64_t bytes, bool fileDone)>;

    // 0 threads: as many as the machine runs at once, at most 8.
    explicit CFileVerifier(unsigned threads = 0);

    unsigned Threads() const { return m_threads; }

    // The verdict of each entry by its size alone.
    std::vector<Verdict> Survey(const std::string& gameDir,
                                const std::vector<_filelist>& entries) const;

    // Turns every ToDigest verdict into Current or Differs. Once `stop` holds the pool ends at
    // its next block; the files not finished then are left ToDigest.
    void Digest(const std::string& gameDir, const std::vector<_filelist>& entries,
                std::vector<Verdict>& verdicts, const Progress& progress,
                const std::atomic<bool>& stop) const;

    // One file on the calling thread: size, then digest; Current or Differs (Unsafe as above).
    static Verdict Check(const std::string& gameDir, const _filelist& entry);

private:
    unsigned m_threads;
};

}  // namespace patch
