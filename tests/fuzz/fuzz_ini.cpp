// Feeds arbitrary bytes to the INI store and the Launcher.ini reader as a file on disk, then
// edits, saves and reloads it, checking what must hold for any input.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "config/ini_file.h"
#include "config/launcher_config.h"
#include "support/test_support.h"

namespace {

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const quend::test::TempDir dir;
    const std::string input = (dir / "in.ini").string();
    const std::string output = (dir / "out.ini").string();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    quend::test::writeFile(input, bytes);

    // Load and save without edits is stable after the first pass.
    config::CIniFile ini;
    Check(ini.Load(input.c_str()) && ini.Save(output.c_str()));
    const std::string first = quend::test::readFile(output);
    Check(ini.Load(output.c_str()) && ini.Save(output.c_str()));
    Check(quend::test::readFile(output) == first);
    for (const config::IniLine& line : ini.Lines())
        Check(line.text.size() <= config::CIniFile::kMaxLineLength);

    // Lookups agree with each other, and a value set reads back as far as the answer holds.
    Check(ini.Load(input.c_str()));
    const std::string section = Word(bytes, 1);
    const std::string key = Word(bytes, 2);
    std::string value = Word(bytes, 3) + bytes.substr(0, bytes.find('\0'));
    value = value.substr(0, value.find(';'));
    config::IniKeyRef ref;
    if (ini.FindKey(section.c_str(), key.c_str(), ref)) {
        Check(ref.keyLine != nullptr && ref.section == ini.FindSection(section.c_str()));
        Check(ini.GetString(section.c_str(), key.c_str(), "") ==
              ref.value.substr(0, config::CIniFile::kResultSize - 1));
    }
    ini.GetInt(section.c_str(), key.c_str(), 7);
    ini.GetBool(section.c_str(), key.c_str(), true);
    ini.GetDouble(section.c_str(), key.c_str(), 0.5);
    ini.SetString("Fz", "Key", value.c_str());
    Check(ini.GetString("Fz", "Key", "<none>") ==
          value.substr(0, config::CIniFile::kResultSize - 1));
    ini.SetString(section.c_str(), key.c_str(), value.c_str());
    ini.SetInt(section.c_str(), "Int", static_cast<int>(size));
    ini.SetDouble(key.c_str(), section.c_str(), 1.5);
    Check(ini.DeleteKey("Fz", "Key"));
    ini.DeleteKey(section.c_str(), key.c_str());
    ini.Save(output.c_str());
    ini.Load(output.c_str());

    config::LauncherConfig config;
    Check(config::ReadLauncherConfig(input, config));
    Check(config::HexDecode(bytes).size() <= size / 2 + 1);
    return 0;
}
