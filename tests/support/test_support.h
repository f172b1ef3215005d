#pragma once
// Helpers shared by the tests: a temporary folder that cleans up after itself, polling with a
// deadline, and small file utilities. Any thread may use them.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace quend::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir final {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    // The folder as text with a trailing separator, as the launcher keeps folders.
    std::string dir() const { return m_path.string() + "/"; }
    // `name` is UTF-8, whatever code page the system's narrow names use.
    std::filesystem::path operator/(std::string_view name) const {
        return m_path / std::u8string(name.begin(), name.end());
    }

private:
    std::filesystem::path m_path;
};

// Polls `predicate` until it holds or `timeout` passes; answers its last value.
bool waitFor(const std::function<bool()>& predicate,
             std::chrono::milliseconds timeout = std::chrono::seconds(5));

// `size` bytes of a fixed pseudo-random sequence picked by `seed`.
std::string randomBytes(std::size_t size, unsigned seed);

void writeFile(const std::filesystem::path& path, std::string_view bytes);
std::string readFile(const std::filesystem::path& path);

// Sets or removes a variable of this process's environment, as getenv sees it.
void setEnv(const char* name, const std::string& value);
void unsetEnv(const char* name);

}  // namespace quend::test
