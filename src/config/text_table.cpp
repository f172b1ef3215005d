#include "config/text_table.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

#include "platform/codepage.h"
#include "platform/message_box.h"
#include "platform/profile.h"

namespace config {

namespace {

// The result buffers of the lookups, used round in turn.
class TextRing final {
public:
    char* Next() {
        char* buffer = m_buffers[m_counter++ % kTextRingBuffers].data();
        buffer[0] = '\0';
        return buffer;
    }

private:
    std::array<std::array<char, kTextBufferSize>, kTextRingBuffers> m_buffers{};
    unsigned m_counter = 0;
};

TextRing g_textRing;
std::string g_textFile;

}  // namespace

void SetTextFile(std::string path) {
    g_textFile = std::move(path);
}

const std::string& TextFile() {
    return g_textFile;
}

const char* GetText(const char* section, const char* key) {
    // A null name would make the profile service list names instead of reading one value.
    section = section != nullptr ? section : "";
    key = key != nullptr ? key : "";
    char* buffer = g_textRing.Next();
    if (platform::ReadProfileString(section, key, "", buffer, kTextBufferSize, g_textFile) > 0) {
        return buffer;
    }
    std::snprintf(buffer, kTextBufferSize, "[?%s.%s?]", section, key);
    return buffer;
}

const char* GetTextOr(const char* section, const char* key, const char* fallbackUtf8) {
    char* buffer = g_textRing.Next();
    if (platform::ReadProfileString(section, key, "", buffer, kTextBufferSize, g_textFile) > 0)
        return buffer;
    std::snprintf(buffer, kTextBufferSize, "%s", platform::Utf8ToAnsi(fallbackUtf8).c_str());
    return buffer;
}

std::string FillText(std::string_view text,
                     std::initializer_list<std::pair<std::string_view, std::string_view>> values) {
    std::string filled;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto value = std::find_if(values.begin(), values.end(), [&](const auto& v) {
            return text.compare(at, v.first.size(), v.first) == 0;
        });
        if (text[at] == '{' && value != values.end()) {
            filled += value->second;
            at += value->first.size();
        } else {
            filled += text[at++];
        }
    }
    return filled;
}

const char* GetErrorText(const char* key) {
    return GetText("Error", key);
}

const char* GetGeneralText(const char* key) {
    return GetText("General", key);
}

void ShowText(const char* key, char kind) {
    const char* text = nullptr;
    if (kind == 'E') {
        text = GetErrorText(key);
    } else if (kind == 'G') {
        text = GetGeneralText(key);
    } else {
        return;
    }
    platform::ShowMessage(platform::AnsiToUtf8(text));
}

}  // namespace config
