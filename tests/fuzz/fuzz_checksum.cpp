// Feeds arbitrary bytes to the checksum-list reading as the list reader cuts them into lines:
// each line through ParseChecksumLine and the comparison with a game folder, and the whole input
// as NotUpdateList.txt through LoadExcludeList. The list loader itself is left out, as it starts
// a pass on the engine's thread.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "patch/checksum_list.h"
#include "patch/update_manager.h"
#include "patch/update_owner.h"
#include "support/test_support.h"

namespace {

constexpr char kEmptyDigest[] = "d41d8cd98f00b204e9800998ecf8427e";

void Check(bool condition) {
    if (!condition)
        std::abort();
}

// A launcher folder with a game folder below it holding one empty file, and beside the game
// folder a file "outside.txt" that no list entry may reach, which is not empty.
class FuzzOwner final : public patch::UpdateOwner, public platform::MessageTarget {
public:
    FuzzOwner() {
        quend::test::writeFile(m_root / "game" / "inside.txt", "");
        quend::test::writeFile(m_root / "outside.txt", "outside");
    }

    std::string GameDir() const override { return m_root.dir() + "game/"; }
    std::string UpdateUrl() const override { return "http://127.0.0.1:9"; }
    std::string ModuleDir() const override { return m_root.dir(); }
    bool NoUpdate() const override { return false; }
    platform::MessageTarget& Target() override { return *this; }
    void Post(platform::PostedMessage) override { std::abort(); }  // nothing here posts

private:
    quend::test::TempDir m_root;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzOwner owner;
    static patch::CMyUpdateManager manager(owner, "QuendFuzz");
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    // Lines as a text-mode reader gives them: cut at "\n", one "\r" before it dropped.
    std::vector<std::string> lines;
    std::istringstream in(bytes);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line.ends_with('\r') ? line.substr(0, line.size() - 1) : line);

    for (const std::string& line : lines) {
        patch::_filelist entry;
        Check(patch::ParseChecksumLine(line, entry) == (line.empty() ? 0 : 1));
        for (const std::string* field : {&entry.fileName, &entry.extra, &entry.md5})
            Check(field->find('|') == std::string::npos && line.find(*field) != std::string::npos);
        // Only a file below the game folder may ever count as current, and those are empty.
        if (manager.IsFileCurrent(entry) == 1)
            Check(entry.md5 == kEmptyDigest && entry.fileSize == 0);
    }

    // The exclude list holds every line but the empty ones, and none holds its own end. A new
    // file each time: truncating one makes the file system flush it on close.
    const std::string path = owner.ModuleDir() + "NotUpdateList.txt";
    std::remove(path.c_str());
    quend::test::writeFile(path, bytes);
    manager.ClearExcludeList();
    manager.LoadExcludeList();
    for (const std::string& line : lines)
        Check(manager.IsExcluded(line) == (line.empty() ? 0 : 1));
    Check(manager.IsExcluded("\n") == 0);
    return 0;
}
