#include "config/ini_file.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <new>
#include <string_view>

#include "platform/ascii_case.h"
#include "platform/paths.h"

namespace config {

namespace {

IniLineKind Classify(std::string_view text) {
    const std::string_view scratch = text.substr(0, text.find(';'));
    const auto has = [scratch](char c) { return scratch.find(c) != std::string_view::npos; };
    if (has('[') && has(']'))
        return IniLineKind::Section;
    if (has('='))
        return IniLineKind::Key;
    return IniLineKind::Other;
}

// What a text-mode read does on the platform the files come from: CR LF becomes LF, a lone CR
// stays.
void DropCrBeforeLf(std::string& bytes) {
    std::size_t out = 0;
    for (std::size_t in = 0; in < bytes.size(); ++in) {
        if (bytes[in] == '\r' && in + 1 < bytes.size() && bytes[in + 1] == '\n')
            continue;
        bytes[out++] = bytes[in];
    }
    bytes.resize(out);
}

}  // namespace

CIniFile::~CIniFile() {
    Clear();
}

bool CIniFile::Load(const char* path) {
    Clear();
    if (path == nullptr)
        return false;
    try {
        m_file.reset(platform::OpenStdFile(path, "rb"));
        std::string bytes;
        if (!m_file || !readAll(bytes)) {
            CloseFile();
            return false;
        }
        m_file.reset();
        DropCrBeforeLf(bytes);
        addPieces(bytes);
        return true;
    } catch (const std::bad_alloc&) {
        CloseFile();
        return false;
    }
}

bool CIniFile::readAll(std::string& bytes) {
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, m_file.get())) > 0)
        bytes.append(chunk, got);
    return std::ferror(m_file.get()) == 0;
}

void CIniFile::addPieces(const std::string& bytes) {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        // A line end right after a full piece belongs to that piece, so a line of exactly
        // kMaxLineLength characters stays one line.
        const std::size_t window = std::min(bytes.size() - pos, kMaxLineLength + 1);
        const std::size_t lf = std::string_view(bytes).substr(pos, window).find('\n');
        const bool ended = lf != std::string_view::npos;
        const std::size_t length = ended ? lf : std::min(window, kMaxLineLength);
        addLine(bytes.substr(pos, length));
        pos += length + (ended ? 1 : 0);
    }
}

void CIniFile::addLine(std::string text) {
    // The line is a C text: a NUL byte ends it.
    text.resize(std::min(text.size(), text.find('\0')));
    const IniLineKind kind = Classify(text);
    m_lines.push_back(IniLine{kind, std::move(text)});
}

bool CIniFile::Save(const char* path) {
    m_file.reset();
    if (path != nullptr)
        m_file.reset(platform::OpenStdFile(path, "wb"));
    if (!m_file) {
        Clear();
        return false;
    }
    const bool written = writeAll();
    const bool closed = std::fclose(m_file.release()) == 0;
    return written && closed;
}

bool CIniFile::writeAll() {
    for (const IniLine& line : m_lines) {
        if (line.kind == IniLineKind::Unset)
            continue;
        std::fwrite(line.text.data(), 1, line.text.size(), m_file.get());
        std::fwrite("\r\n", 1, 2, m_file.get());
    }
    return std::fflush(m_file.get()) == 0 && std::ferror(m_file.get()) == 0;
}

void CIniFile::Clear() {
    m_lines.clear();
}

void CIniFile::CloseFile() {
    Clear();
    m_file.reset();
}

const char* CIniFile::GetString(const char* section, const char* key, const char* defaultValue) {
    if (section == nullptr || key == nullptr || defaultValue == nullptr)
        return defaultValue;
    IniKeyRef ref;
    if (!FindKey(section, key, ref))
        return defaultValue;
    const std::size_t length = std::min(ref.value.size(), kResultSize - 1);
    ref.value.copy(m_result.data(), length);
    m_result[length] = '\0';
    return m_result.data();
}

int CIniFile::GetInt(const char* section, const char* key, int defaultValue) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", defaultValue);
    return TextToInt(GetString(section, key, text));
}

bool CIniFile::GetBool(const char* section, const char* key, bool defaultValue) {
    return TextToInt(GetString(section, key, defaultValue ? "1" : "0")) != 0;
}

double CIniFile::GetDouble(const char* section, const char* key, double defaultValue) {
    std::snprintf(m_result.data(), m_result.size(), "%1.10lE", defaultValue);
    const char* text = GetString(section, key, m_result.data());
    if (text == nullptr)
        return defaultValue;
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    return end == text ? defaultValue : value;
}

int CIniFile::TextToInt(const char* text) {
    if (text == nullptr)
        return 0;
    const long value = std::strtol(text, nullptr, 10);
    return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

void CIniFile::SetString(const char* section, const char* key, const char* value) {
    if (section == nullptr || key == nullptr || value == nullptr)
        return;
    try {
        setString(section, key, value);
    } catch (const std::bad_alloc&) {
        Clear();
    }
}

void CIniFile::setString(const char* section, const char* key, const char* value) {
    const LineIter header = findSection(section);
    if (header == m_lines.end()) {
        m_lines.push_back(IniLine{IniLineKind::Section, "[" + std::string(section) + "]"});
        m_lines.push_back(IniLine{IniLineKind::Key, std::string(key) + "=" + value});
        return;
    }
    IniKeyRef ref;
    const LineIter found = findKey(header, key, ref);
    if (found == m_lines.end()) {
        m_lines.insert(std::next(header),
                       IniLine{IniLineKind::Key, std::string(key) + "=" + value});
        return;
    }
    // An empty erase turns the const iterator into a mutable one.
    const auto line = m_lines.erase(found, found);
    line->text = ref.key + "=" + value + ref.comment;
}

void CIniFile::SetInt(const char* section, const char* key, int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    SetString(section, key, text);
}

void CIniFile::SetBool(const char* section, const char* key, bool value) {
    SetString(section, key, value ? "1" : "0");
}

void CIniFile::SetDouble(const char* section, const char* key, double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%1.10lE", value);
    SetString(section, key, text);
}

bool CIniFile::DeleteKey(const char* section, const char* key) {
    if (section == nullptr || key == nullptr)
        return false;
    const LineIter header = findSection(section);
    if (header == m_lines.end())
        return false;
    IniKeyRef ref;
    const LineIter found = findKey(header, key, ref);
    if (found == m_lines.end())
        return false;
    m_lines.erase(found);
    return true;
}

const IniLine* CIniFile::FindSection(const char* section) const {
    const LineIter header = findSection(section);
    return header == m_lines.end() ? nullptr : &*header;
}

bool CIniFile::FindKey(const char* section, const char* key, IniKeyRef& ref) const {
    ref = IniKeyRef{};
    if (key == nullptr)
        return false;
    const LineIter header = findSection(section);
    return header != m_lines.end() && findKey(header, key, ref) != m_lines.end();
}

CIniFile::LineIter CIniFile::findSection(const char* section) const {
    if (section == nullptr)
        return m_lines.end();
    const std::string pattern = "[" + std::string(section) + "]";
    return std::find_if(m_lines.begin(), m_lines.end(), [&pattern](const IniLine& line) {
        return line.kind == IniLineKind::Section && platform::EqualsNoCase(line.text, pattern);
    });
}

CIniFile::LineIter CIniFile::findKey(LineIter header, const char* key, IniKeyRef& ref) const {
    ref = IniKeyRef{};
    ref.section = &*header;
    for (auto it = std::next(header); it != m_lines.end(); ++it) {
        if (it->kind == IniLineKind::Section || it->kind == IniLineKind::Unset)
            break;
        if (it->kind != IniLineKind::Key)
            continue;
        const std::string_view text = it->text;
        const std::size_t semicolon = std::min(text.find(';'), text.size());
        const std::string_view body = text.substr(0, semicolon);
        const std::size_t equals = body.find('=');
        if (equals == std::string_view::npos ||
            !platform::EqualsNoCase(body.substr(0, equals), key))
            continue;
        ref.keyLine = &*it;
        ref.key = body.substr(0, equals);
        ref.value = body.substr(equals + 1);
        ref.comment = text.substr(semicolon);
        return it;
    }
    return m_lines.end();
}

}  // namespace config
