// Feeds arbitrary bytes to the profile-string reader and writer as a file, and to the code
// page conversions as text.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/codepage.h"
#include "platform/profile.h"

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_profile: %s\n", what);
        std::abort();
    }
}

// The input as a file, in memory when the machine offers it; removed after each input.
class InputFile final {
public:
    explicit InputFile(std::string_view bytes) {
        m_path = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        m_path += "/fuzz_profile-XXXXXX";
        const int fd = mkstemp(m_path.data());
        Check(fd >= 0, "cannot create the work file");
        close(fd);
        std::ofstream out(m_path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        Check(static_cast<bool>(out), "cannot write the work file");
    }
    ~InputFile() { unlink(m_path.c_str()); }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// A name the input itself uses, so that lookups hit as well as miss.
std::string NameBetween(std::string_view input, char open, char close) {
    const std::size_t start = open == '\0' ? 0 : input.find(open);
    if (start == std::string_view::npos)
        return "x";
    const std::size_t from = open == '\0' ? 0 : start + 1;
    const std::size_t end = input.find(close, from);
    std::string name(input.substr(from, end == std::string_view::npos ? 16 : end - from));
    return name.substr(0, name.find('\0'));
}

std::string Read(const std::string& file, const char* section, const char* key, std::size_t size) {
    std::vector<char> buffer(size + 1, '#');
    const std::size_t count =
        platform::ReadProfileString(section, key, "def", buffer.data(), size, file);
    Check(buffer[size] == '#', "wrote past the buffer");
    if (size == 0) {
        Check(count == 0 && buffer[0] == '#', "size 0 wrote something");
        return {};
    }
    Check(count < size && buffer[count] == '\0', "answer not cut or not terminated");
    return std::string(buffer.data(), count);
}

bool IsFuzzSection(std::string_view name) {
    while (!name.empty() && (name.front() == ' ' || name.front() == '\t'))
        name.remove_prefix(1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
        name.remove_suffix(1);
    if (name.size() != 4)
        return false;
    for (std::size_t i = 0; i < 4; ++i) {
        if ((name[i] | 0x20) != "fuzz"[i])
            return false;
    }
    return true;
}

bool IsUtf8(std::string_view text) {
    // Decoding back from UTF-8 to UTF-8 through the replacement path would hide faults, so
    // check the shape of each sequence directly.
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (lead >= 0x80 && lead < 0xC2)
            return false;
        if (lead > 0xF4 || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += length;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const InputFile file(input);

    const std::string section = NameBetween(input, '[', ']');
    const std::string key = NameBetween(input, '\n', '=');
    const std::string firstKey = NameBetween(input, '\0', '=');
    for (std::size_t bufferSize : {0, 1, 2, 7, 1024}) {
        Read(file.path(), section.c_str(), key.c_str(), bufferSize);
        Read(file.path(), section.c_str(), nullptr, bufferSize);
        Read(file.path(), nullptr, nullptr, bufferSize);
        Read(file.path(), "", firstKey.c_str(), bufferSize);
        Read(file.path(), "General", "ConnectionFailed", bufferSize);
    }

    // Writing one value must read back and leave every other section as it was.
    const std::string before = Read(file.path(), section.c_str(), key.c_str(), 1024);
    const std::string beforeFirst = Read(file.path(), "", firstKey.c_str(), 1024);
    if (platform::WriteProfileString("Fuzz", "Key", "fuzz value", file.path())) {
        Check(Read(file.path(), "fuzz", "key", 1024) == "fuzz value",
              "written value does not read back");
        if (!IsFuzzSection(section)) {
            Check(Read(file.path(), section.c_str(), key.c_str(), 1024) == before,
                  "other section changed");
        }
        Check(Read(file.path(), "", firstKey.c_str(), 1024) == beforeFirst, "leading keys changed");
    }

    const std::string utf8 = platform::AnsiToUtf8(input);
    Check(size == 0 || !utf8.empty(), "conversion lost the text");
    Check(IsUtf8(utf8), "conversion made broken UTF-8");
    platform::Utf8ToAnsi(input);
    platform::Utf8ToAnsi(utf8);
    return 0;
}
