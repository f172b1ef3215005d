// Feeds arbitrary bytes to the profile-string reader and writer as a file, and to the code
// page conversions as text.

#include <iconv.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/codepage.h"
#include "platform/profile.h"
#include "support/test_support.h"

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_profile: %s\n", what);
        std::abort();
    }
}

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

// Whether the system's own decoder takes `text` as UTF-8 whole.
bool IsUtf8(std::string text) {
    const iconv_t cd = iconv_open("UTF-32LE", "UTF-8");
    std::vector<char> out(text.size() * 4 + 4);
    char* in = text.data();
    char* to = out.data();
    std::size_t inLeft = text.size(), outLeft = out.size();
    const bool whole = iconv(cd, &in, &inLeft, &to, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    return whole;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // In memory where the machine offers it: the writer syncs every file it replaces.
    static const quend::test::TempDir dir = [] {
        if (::access("/dev/shm", W_OK) == 0)
            ::setenv("TMPDIR", "/dev/shm", 1);
        return quend::test::TempDir();
    }();
    const std::string file = (dir / "input.ini").string();
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    quend::test::writeFile(file, input);

    const std::string section = NameBetween(input, '[', ']');
    const std::string key = NameBetween(input, '\n', '=');
    const std::string firstKey = NameBetween(input, '\0', '=');
    for (std::size_t bufferSize : {0, 1, 2, 7, 1024}) {
        Read(file, section.c_str(), key.c_str(), bufferSize);
        Read(file, section.c_str(), nullptr, bufferSize);
        Read(file, nullptr, nullptr, bufferSize);
        Read(file, "", firstKey.c_str(), bufferSize);
        Read(file, "General", "ConnectionFailed", bufferSize);
    }

    // Writing one value must read back and leave every other section as it was (a section
    // whose name might be "Fuzz" is not compared).
    const std::string before = Read(file, section.c_str(), key.c_str(), 1024);
    const std::string beforeFirst = Read(file, "", firstKey.c_str(), 1024);
    if (platform::WriteProfileString("Fuzz", "Key", "fuzz value", file)) {
        Check(Read(file, "fuzz", "key", 1024) == "fuzz value", "written value does not read back");
        std::string lower = section;
        for (char& c : lower)
            c = platform::AsciiLower(c);
        if (lower.find("fuzz") == std::string::npos)
            Check(Read(file, section.c_str(), key.c_str(), 1024) == before,
                  "other section changed");
        Check(Read(file, "", firstKey.c_str(), 1024) == beforeFirst, "leading keys changed");
    }

    const std::string utf8 = platform::AnsiToUtf8(input);
    Check(size == 0 || !utf8.empty(), "conversion lost the text");
    Check(IsUtf8(utf8), "conversion made broken UTF-8");
    platform::Utf8ToAnsi(input);
    platform::Utf8ToAnsi(utf8);
    return 0;
}
