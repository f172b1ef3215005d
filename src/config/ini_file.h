#pragma once
// CIniFile: the launcher's own INI store. Keeps a whole file in memory as its lines, exactly as
// read, and answers lookups by walking them. One thread at a time; there is no locking.
//
// Rules: no trimming, no quoting, ";" starts a comment anywhere, section and key names compare
// without regard to ASCII letter case. Lines are read in pieces of at most 254 characters (a
// longer line becomes several lines); a CR LF line end reads as LF; Save ends each line in CR LF.

#include <array>
#include <cstdint>
#include <cstdio>
#include <list>
#include <memory>
#include <string>

namespace config {

enum class IniLineKind : std::uint8_t { Unset = 0, Section = 1, Key = 2, Other = 3 };

// One line of the file, without its line end, comment included.
struct IniLine {
    IniLineKind kind = IniLineKind::Unset;
    std::string text;
};

// The result of a key search. The line pointers stay valid until the store changes.
struct IniKeyRef {
    const IniLine* section = nullptr;  // header of the section found
    const IniLine* keyLine = nullptr;  // key line found
    std::string key;                   // text before "=", as written
    std::string value;                 // text after the first "=" and before any ";"
    std::string comment;               // from the first ";" to the end, or empty
};

class CIniFile {
public:
    // Longest line the reader makes of one piece of the file.
    static constexpr std::size_t kMaxLineLength = 254;
    // Size of the result buffer of GetString, terminator included.
    static constexpr std::size_t kResultSize = 256;

    CIniFile() = default;
    // Virtual because GetString may be overridden, and the typed getters follow the override.
    virtual ~CIniFile();
    CIniFile(const CIniFile&) = delete;
    CIniFile& operator=(const CIniFile&) = delete;

    // Replaces the store with the lines of `path`. False (store empty) for a null path, a file
    // that cannot be opened or read, or memory exhaustion.
    bool Load(const char* path);
    // Writes every line followed by CR LF. False when the file cannot be created (the store is
    // then emptied) or when writing it fails (the store is kept).
    bool Save(const char* path);
    void Clear();
    void CloseFile();

    // The value copied into the result buffer, which the next lookup overwrites; `defaultValue`
    // itself when an argument is null or the key is missing. A value longer than 255
    // characters (only SetString can make one) is cut to its first 255.
    virtual const char* GetString(const char* section, const char* key, const char* defaultValue);
    // Leading decimal number of the value (0 when there is none, clamped to the int range).
    int GetInt(const char* section, const char* key, int defaultValue);
    // True when the value's leading number is not 0.
    bool GetBool(const char* section, const char* key, bool defaultValue);
    // The value read back as a floating number. A missing key gives `defaultValue` as printed
    // with "%1.10lE" (eleven significant digits); a value that does not begin with a number
    // gives `defaultValue` unchanged.
    double GetDouble(const char* section, const char* key, double defaultValue);

    // Rewrites the key's line keeping its name as written and its comment; else inserts
    // key=value right after the section header; else appends the section and the key. The line
    // is kept whole whatever its length. Nothing happens when an argument is null.
    void SetString(const char* section, const char* key, const char* value);
    void SetInt(const char* section, const char* key, int value);
    void SetBool(const char* section, const char* key, bool value);
    void SetDouble(const char* section, const char* key, double value);
    bool DeleteKey(const char* section, const char* key);

    // First section line whose whole text equals "[name]" without regard to case.
    const IniLine* FindSection(const char* section) const;
    // The first key of that name in the first such section; keys before any header are never
    // found, and the search ends at the next section line.
    bool FindKey(const char* section, const char* key, IniKeyRef& ref) const;

    // The lines in file order.
    const std::list<IniLine>& Lines() const { return m_lines; }

    // The standard decimal text-to-integer rule (blanks, sign, leading digits; 0 when there are
    // none), clamped to the int range instead of overflowing.
    static int TextToInt(const char* text);

private:
    using LineIter = std::list<IniLine>::const_iterator;
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    bool readAll(std::string& bytes);
    void addPieces(const std::string& bytes);
    void addLine(std::string text);
    bool writeAll();
    LineIter findSection(const char* section) const;
    LineIter findKey(LineIter header, const char* key, IniKeyRef& ref) const;
    void setString(const char* section, const char* key, const char* value);

    std::list<IniLine> m_lines;
    std::array<char, kResultSize> m_result{};
    std::unique_ptr<std::FILE, FileCloser> m_file;
};

}  // namespace config
