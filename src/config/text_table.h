#pragma once
// The texts the launcher shows in the user's language, looked up by key in the language file
// ("Launcher." + LANGUAGE beside the program). GUI thread only: results live in a ring of static
// buffers without a lock.

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace config {

// Each lookup answers one of this many buffers in turn, so a text stays valid until that many
// further lookups; callers use it at once or copy it.
inline constexpr std::size_t kTextRingBuffers = 256;
inline constexpr std::size_t kTextBufferSize = 1024;

// The language file's full path, set once at start-up before the first lookup.
void SetTextFile(std::string path);
const std::string& TextFile();

// The text of `key` in `section` (ANSI code page), or "[?section.key?]" when the file, section
// or key is missing or the value is empty. Read afresh from the file on every call.
const char* GetText(const char* section, const char* key);
const char* GetErrorText(const char* key);    // section "Error"
const char* GetGeneralText(const char* key);  // section "General"
// As GetText, but a key the language file lacks gives `fallbackUtf8` in the ANSI code page: texts
// newer than a publisher's language file still read well.
const char* GetTextOr(const char* section, const char* key, const char* fallbackUtf8);

// `text` with every "{name}" of `values` replaced by its value; values are not searched again.
std::string FillText(std::string_view text,
                     std::initializer_list<std::pair<std::string_view, std::string_view>> values);

// Shows the text of `key` in a message box: kind 'E' an error text, 'G' a general text; any
// other kind shows nothing.
void ShowText(const char* key, char kind);

}  // namespace config
