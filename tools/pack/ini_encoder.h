#pragma once
// Producing Launcher.ini: HexEncode, the exact inverse of the launcher's HexDecode, and the
// encoding of a whole plain INI file. Any thread; no shared state.

#include <string>
#include <string_view>

namespace config {
class CIniFile;
}

namespace pack {

// Each byte as two digits "0"-"9", "A"-"F", the low four bits first: "0" gives "03", "A" "14".
std::string HexEncode(std::string_view plain);

// The text of an INI file whose lines are those of `plain` taken as UTF-8 and put into the ANSI
// code page; every key's value (after the first "=", before any ";") is then encoded. Section
// headers, key names, comments and other lines stay plain; each line ends in CR LF. A leading
// UTF-8 byte-order mark is dropped. Throws PackError naming `source` and the line when a text
// has no ANSI form or an encoded line is longer than the launcher reads as one line.
std::string EncodeIni(const config::CIniFile& plain, const std::string& source);

// Reads `plainPath` with the launcher's INI rules and writes the encoded file to `outPath`
// atomically. Throws PackError naming the file that failed.
void EncodeIniFile(const std::string& plainPath, const std::string& outPath);

}  // namespace pack
