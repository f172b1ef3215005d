// Feeds arbitrary bytes to the checksum-list reading as the list reader cuts them into lines:
// each line through ParseChecksumLine and the comparison with a game folder, and the whole input
// as NotUpdateList.txt through LoadExcludeList. The list loader itself is left out, as it starts
// the check thread.

#include <unistd.h>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "patch/update_manager.h"
#include "patch/update_owner.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

namespace {

constexpr char kEmptyDigest[] = "d41d8cd98f00b204e9800998ecf8427e";

void Check(bool condition) {
    if (!condition)
        std::abort();
}

// A launcher folder with an empty game folder below it, and an empty file beside the game folder
// that no list entry may reach. Removed when the process exits.
class FuzzOwner final : public UpdateOwner, public platform::MessageTarget {
public:
    FuzzOwner() {
        fs::create_directories(m_root / "game");
        std::ofstream(m_root / "outside.txt").flush();
        std::ofstream(m_root / "game" / "inside.txt").flush();
    }
    ~FuzzOwner() override {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }

    std::string GameDir() const override { return (m_root / "game").string() + "/"; }
    bool IsRunning() const override { return true; }
    std::string UpdateUrl() const override { return "http://127.0.0.1:9"; }
    std::string ModuleDir() const override { return m_root.string() + "/"; }
    bool NoUpdate() const override { return false; }
    void SetStatusText(const std::string&) override {}
    void SetTotalRange(int, int) override {}
    void StepTotal() override {}
    platform::ManualResetEvent& DownloadEvent() override { return m_event; }
    void WaitDownloadEvent() override {}
    platform::MessageTarget& Target() override { return *this; }
    void Post(platform::PostedMessage) override { std::abort(); }  // nothing here posts

private:
    fs::path m_root = fs::temp_directory_path() / ("fuzz_checksum-" + std::to_string(::getpid()));
    platform::ManualResetEvent m_event;
};

struct Fixture {
    FuzzOwner owner;
    CMyUpdateManager manager{owner, "QuendFuzz"};
};

Fixture& TheFixture() {
    static Fixture fixture;
    return fixture;
}

// Lines as a text-mode reader gives them: cut at "\n", one "\r" before it dropped, an empty
// last piece not counted.
std::vector<std::string> Lines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

// The fields between runs of "|", the way the list's tokenizer finds them.
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = line.find_first_not_of('|');
    while (start != std::string::npos) {
        const std::size_t end = line.find('|', start);
        fields.push_back(line.substr(start, end == std::string::npos ? end : end - start));
        start = line.find_first_not_of('|', end);
    }
    fields.resize(std::max<std::size_t>(fields.size(), 5));
    return fields;
}

bool InsideGameFolder(const _filelist& entry) {
    const fs::path game = fs::weakly_canonical(TheFixture().owner.GameDir());
    const fs::path file = fs::weakly_canonical(platform::JoinNativePath(
        TheFixture().owner.GameDir(), CMyUpdateManager::ToUtf8(entry.fileName)));
    const auto [end, ignored] = std::mismatch(game.begin(), game.end(), file.begin(), file.end());
    return end == game.end() && file != game;
}

void CheckLine(const std::string& line) {
    _filelist entry;
    entry.fileName = "untouched";
    const int result = CMyUpdateManager::ParseChecksumLine(line, entry);
    if (line.empty()) {
        Check(result == 0 && entry.fileName == "untouched");
        return;
    }
    Check(result == 1);
    const std::vector<std::string> fields = Fields(line);
    Check(entry.fileName == fields[0] && entry.extra == fields[1] && entry.md5 == fields[2]);
    Check(entry.fileSize == std::strtoll(fields[4].c_str(), nullptr, 10));
    if (fields[3].empty())
        Check(entry.modifiedTime == 0);
    // Only a file below the game folder may ever count as current.
    if (TheFixture().manager.IsFileCurrent(entry) == 1)
        Check(entry.md5 == kEmptyDigest && entry.fileSize == 0 && InsideGameFolder(entry));
}

void CheckExcludeList(const std::string& bytes, const std::vector<std::string>& lines) {
    CMyUpdateManager& manager = TheFixture().manager;
    // A new file each time: truncating one makes the file system flush it on close.
    const std::string path = TheFixture().owner.ModuleDir() + "NotUpdateList.txt";
    ::unlink(path.c_str());
    std::ofstream(path, std::ios::binary) << bytes;
    manager.ClearExcludeList();
    manager.LoadExcludeList();
    for (const std::string& line : lines)
        Check(manager.IsExcluded(line) == (line.empty() ? 0 : 1));
    Check(manager.IsExcluded("\n") == 0);  // no line holds its own end
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = Lines(bytes);
    for (const std::string& line : lines)
        CheckLine(line);
    CheckExcludeList(bytes, lines);
    return 0;
}
