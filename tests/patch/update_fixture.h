#pragma once
// The owner of an update engine for the engine's suites, on either half: a temporary game folder,
// the posted messages recorded, short pauses; a suite sets m_url, then starts the thread.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "patch/md5.h"
#include "patch/resume_part.h"
#include "patch/update_manager.h"
#include "platform/paths.h"
#include "platform/window_messages.h"
#include "support/post_recorder.h"
#include "support/test_support.h"

namespace quend::test {

using Files = std::map<std::string, std::string>;
using Texts = std::vector<std::string>;

// What a check pass showed: its status lines and the last figure of the overall bar.
struct Progress {
    Texts status;
    std::intptr_t bar = -1;
    bool operator==(const Progress&) const = default;
};

class UpdateFixture : public ::testing::Test, public patch::UpdateOwner {
protected:
    static constexpr char kTitle[] = "QuendTest";
    UpdateFixture() { setEnv("no_proxy", "127.0.0.1,localhost"); }
    // The threads end while this owner is still whole, as when the dialog closes.
    void TearDown() override { m_manager.Stop(); }

    std::string GameDir() const override { return platform::PathUtf8(m_gameDir) + "/"; }
    std::string UpdateUrl() const override { return m_url; }
    std::string ModuleDir() const override { return m_root.dir(); }
    bool NoUpdate() const override { return m_noUpdate; }
    platform::MessageTarget& Target() override { return m_target; }

    std::size_t Done() const { return m_target.count(platform::WM_UPDATE_DONE); }
    std::filesystem::path Game(std::string_view name) const {
        return m_gameDir / platform::FsPath(std::string(name));
    }
    // The game folder's regular files by UTF-8 path with "/", or only its part files.
    Files GameFiles(bool partsOnly = false) const {
        Files files;
        for (const auto& file : std::filesystem::recursive_directory_iterator(m_gameDir))
            if (file.is_regular_file() &&
                (!partsOnly || patch::IsPartFileName(file.path().filename().string()))) {
                const auto name = relative(file.path(), m_gameDir).generic_u8string();
                files[std::string(name.begin(), name.end())] = readFile(file.path());
            }
        return files;
    }

    // A list line for `name` with the digest and size of `bytes`, the digest upper-case or not.
    static std::string Line(const std::string& name, std::string_view bytes,
                            const std::string& end = "\n", bool upper = false) {
        std::string md5 = patch::CMD5().GetStringMD5(std::string(bytes));
        if (upper)
            std::transform(md5.begin(), md5.end(), md5.begin(), ::toupper);
        return name + "|x|" + md5 + "|2020-5-1 10:00:00|" + std::to_string(bytes.size()) + end;
    }
    static patch::_filelist Entry(std::string name, std::string_view bytes) {
        return {std::move(name), "x", patch::CMD5().GetStringMD5(std::string(bytes)), 0,
                static_cast<std::int64_t>(bytes.size())};
    }
    // Hands `name`, listed with the size and digest of `bytes`, to the engine; how it ended.
    patch::FileOutcome Fetch(std::string name, std::string_view bytes) {
        auto done = m_manager.QueueDownload(Entry(std::move(name), bytes));
        EXPECT_EQ(done.wait_for(std::chrono::seconds(30)), std::future_status::ready);
        return done.get();
    }

    // Waits for the end of the check pass that `start` starts; what it showed.
    Progress Pass(const std::function<void()>& start) {
        const std::size_t before = m_target.messages().size(), done = Done();
        start();
        EXPECT_TRUE(m_target.waitFor(platform::WM_UPDATE_DONE, done + 1, std::chrono::seconds(60)));
        EXPECT_FALSE(m_manager.IsBusy());
        Progress progress;
        const auto posted = m_target.messages();
        for (const platform::PostedMessage& m : std::span(posted).subspan(before))
            if (m.id == platform::WM_UPDATE_STATUS)
                progress.status.push_back(m.text);
            else if (m.id == platform::WM_TOTAL_PROGRESS)
                progress.bar = m.wParam;
        return progress;
    }
    Progress RunPass(const std::string& lines) {
        writeFile(m_root / "list.md5", lines);
        return Pass([&] {
            EXPECT_TRUE(m_manager.LoadChecksumList(platform::PathUtf8(m_root / "list.md5")));
        });
    }

    TempDir m_root;
    std::filesystem::path m_gameDir = m_root / "game";  // changed only between passes
    std::atomic<bool> m_noUpdate{false};
    std::string m_url;  // changed only between passes
    PostRecorder m_target;
    patch::CMyUpdateManager m_manager{
        *this, kTitle, {1, 0, {2, std::chrono::milliseconds(10)}}};  // short pauses
};

}  // namespace quend::test
