#include "pack/ini_encoder.h"

#include "config/ini_file.h"
#include "pack/ansi_text.h"
#include "pack/atomic_file.h"
#include "pack/pack_error.h"
#include "platform/paths.h"

namespace pack {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string Where(const std::string& source, std::size_t lineNumber) {
    return source + ", line " + std::to_string(lineNumber);
}

// key=value;comment with the value encoded, as the launcher's key lookup splits the line.
std::string EncodeKeyLine(std::string_view text, const std::string& where) {
    const std::size_t semicolon = std::min(text.find(';'), text.size());
    const std::string_view body = text.substr(0, semicolon);
    const std::size_t equals = body.find('=');
    const std::string key = ToAnsiOrThrow(body.substr(0, equals), where + " (key)");
    const std::string value =
        ToAnsiOrThrow(body.substr(equals + 1), where + " (value of " + key + ")");
    const std::string comment = ToAnsiOrThrow(text.substr(semicolon), where + " (comment)");
    return key + "=" + HexEncode(value) + comment;
}

std::string EncodeLine(const config::IniLine& line, const std::string& where) {
    if (line.kind == config::IniLineKind::Key)
        return EncodeKeyLine(line.text, where);
    return ToAnsiOrThrow(line.text, where);
}

}  // namespace

std::string HexEncode(std::string_view plain) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(plain.size() * 2);
    for (const char c : plain) {
        const auto byte = static_cast<unsigned char>(c);
        encoded += kDigits[byte & 0x0F];
        encoded += kDigits[byte >> 4];
    }
    return encoded;
}

std::string EncodeIni(const config::CIniFile& plain, const std::string& source) {
    std::string out;
    std::size_t lineNumber = 0;
    for (const config::IniLine& line : plain.Lines()) {
        ++lineNumber;
        config::IniLine input = line;
        if (lineNumber == 1 && input.text.starts_with(kUtf8Bom))
            input.text.erase(0, kUtf8Bom.size());
        const std::string where = Where(source, lineNumber);
        const std::string encoded = EncodeLine(input, where);
        // The launcher cuts longer lines into pieces, which would split the value.
        if (encoded.size() > config::CIniFile::kMaxLineLength) {
            throw PackError(where + ": the encoded line has " + std::to_string(encoded.size()) +
                            " characters, more than the " +
                            std::to_string(config::CIniFile::kMaxLineLength) +
                            " the launcher reads");
        }
        out += encoded;
        out += "\r\n";
    }
    return out;
}

void EncodeIniFile(const std::string& plainPath, const std::string& outPath) {
    config::CIniFile plain;
    if (!plain.Load(plainPath.c_str()))
        throw PackError("cannot read " + plainPath);
    WriteFileAtomically(platform::FsPath(outPath), EncodeIni(plain, plainPath));
}

}  // namespace pack
