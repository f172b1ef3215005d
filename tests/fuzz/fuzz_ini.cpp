// Feeds arbitrary bytes to the INI store and the Launcher.ini reader as a file on disk, then
// edits, saves and reloads it, checking what must hold for any input.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "config/ini_file.h"
#include "config/launcher_config.h"

namespace {

std::string TempPath(const char* name) {
    return (std::filesystem::temp_directory_path() /
            ("fuzz_ini-" + std::to_string(getpid()) + "-" + name))
        .string();
}

// The two files of this process, removed when it exits.
struct TempFiles {
    std::string input = TempPath("in.ini");
    std::string output = TempPath("out.ini");
    ~TempFiles() {
        std::error_code ignored;
        std::filesystem::remove(input, ignored);
        std::filesystem::remove(output, ignored);
    }
};

const TempFiles& Files() {
    static const TempFiles files;
    return files;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Check(bool condition) {
    if (!condition)
        std::abort();
}

// Names for the lookups come from the input itself, so they often hit its sections and keys.
std::string Word(const std::string& bytes, std::size_t index) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < index && start != std::string::npos; ++i)
        start = bytes.find_first_of("[]=;\n", start + 1);
    if (start == std::string::npos)
        return "S";
    const std::size_t end = bytes.find_first_of("[]=;\n\r", start + 1);
    std::string word = bytes.substr(start + 1, end == std::string::npos ? 24 : end - start - 1);
    return word.substr(0, word.find('\0'));
}

// Load and save without edits is stable after the first pass.
void CheckRoundTrip(CIniFile& ini) {
    Check(ini.Save(Files().output.c_str()));
    const std::string first = ReadBytes(Files().output);
    Check(ini.Load(Files().output.c_str()));
    Check(ini.Save(Files().output.c_str()));
    Check(ReadBytes(Files().output) == first);
    for (const IniLine& line : ini.Lines())
        Check(line.text.size() <= CIniFile::kMaxLineLength);
}

void Edit(CIniFile& ini, const std::string& bytes) {
    const std::string section = Word(bytes, 1);
    const std::string key = Word(bytes, 2);
    std::string value = Word(bytes, 3) + bytes.substr(0, bytes.find('\0'));
    value = value.substr(0, value.find(';'));

    IniKeyRef ref;
    if (ini.FindKey(section.c_str(), key.c_str(), ref)) {
        Check(ref.keyLine != nullptr && ref.section == ini.FindSection(section.c_str()));
        Check(std::string(ini.GetString(section.c_str(), key.c_str(), "")) ==
              ref.value.substr(0, CIniFile::kResultSize - 1));
    }
    ini.GetInt(section.c_str(), key.c_str(), 7);
    ini.GetBool(section.c_str(), key.c_str(), true);
    ini.GetDouble(section.c_str(), key.c_str(), 0.5);

    ini.SetString("Fz", "Key", value.c_str());
    Check(std::string(ini.GetString("Fz", "Key", "<none>")) ==
          value.substr(0, CIniFile::kResultSize - 1));
    ini.SetString(section.c_str(), key.c_str(), value.c_str());
    ini.SetInt(section.c_str(), "Int", static_cast<int>(bytes.size()));
    ini.SetDouble(key.c_str(), section.c_str(), 1.5);
    Check(ini.DeleteKey("Fz", "Key"));
    ini.DeleteKey(section.c_str(), key.c_str());
    ini.Save(Files().output.c_str());
    ini.Load(Files().output.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    WriteBytes(Files().input, bytes);

    CIniFile ini;
    Check(ini.Load(Files().input.c_str()));
    CheckRoundTrip(ini);
    Check(ini.Load(Files().input.c_str()));
    Edit(ini, bytes);

    LauncherConfig config;
    Check(ReadLauncherConfig(Files().input, config));
    Check(HexDecode(bytes).size() <= size / 2 + 1);
    return 0;
}
