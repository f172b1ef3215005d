#include "platform/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/utf16.h"

namespace platform {
namespace {

constexpr const char* kDefaultCodePage = "GBK";
// Without any usable code page only ASCII passes.
constexpr const char* kNoCodePage = "ASCII";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// One conversion descriptor, owned by one call, so threads never share conversion state.
class Converter final {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    Converter(Converter&& other) noexcept
        : m_cd(std::exchange(other.m_cd, reinterpret_cast<iconv_t>(-1))) {}
    Converter& operator=(Converter&&) = delete;
    ~Converter() {
        if (valid())
            iconv_close(m_cd);
    }

    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts `input`; at each sequence it cannot convert, `replace` appends a substitute to
    // the output and answers how many input bytes to skip (at least one).
    template <typename Replace>
    std::string Convert(std::string_view input, Replace replace) {
        std::string out;
        out.reserve(input.size() * 3 / 2 + 8);
        char* in = const_cast<char*>(input.data());
        std::size_t inLeft = input.size();
        char chunk[4096];
        while (inLeft > 0) {
            char* chunkEnd = chunk;
            std::size_t chunkLeft = sizeof chunk;
            const std::size_t result = iconv(m_cd, &in, &inLeft, &chunkEnd, &chunkLeft);
            const int error = errno;
            out.append(chunk, static_cast<std::size_t>(chunkEnd - chunk));
            if (result != static_cast<std::size_t>(-1) || error == E2BIG)
                continue;
            const std::size_t skip = std::min(inLeft, replace(std::string_view(in, inLeft), out));
            in += skip;
            inLeft -= skip;
        }
        char* chunkEnd = chunk;
        std::size_t chunkLeft = sizeof chunk;
        iconv(m_cd, nullptr, nullptr, &chunkEnd, &chunkLeft);  // ends a shift state, if any
        out.append(chunk, static_cast<std::size_t>(chunkEnd - chunk));
        return out;
    }

private:
    iconv_t m_cd;
};

std::string ConfiguredCodePage() {
    const char* configured = std::getenv("QUEND_CODEPAGE");
    return configured != nullptr && *configured != '\0' ? configured : kDefaultCodePage;
}

// The converter for the configured code page, or for GBK when iconv does not know that one.
// `name` receives the code page in use; nullopt when iconv knows neither.
std::optional<Converter> OpenAnsi(bool toUtf8, std::string* name) {
    for (const std::string& codePage : {ConfiguredCodePage(), std::string(kDefaultCodePage)}) {
        Converter converter =
            toUtf8 ? Converter("UTF-8", codePage.c_str()) : Converter(codePage.c_str(), "UTF-8");
        if (converter.valid()) {
            *name = codePage;
            return converter;
        }
    }
    *name = kNoCodePage;
    return std::nullopt;
}

std::size_t ReplaceUndecodable(std::string_view, std::string& out) {
    out.append(kReplacement);
    return 1;
}

// A character the code page lacks and a byte that is not UTF-8 both become one "?".
std::size_t ReplaceUnrepresentable(std::string_view rest, std::string& out) {
    out.push_back('?');
    return std::max<std::size_t>(1, Utf8SequenceLength(rest));
}

std::string AsciiToUtf8(std::string_view ansi) {
    std::string out;
    for (char c : ansi) {
        if (static_cast<unsigned char>(c) < 0x80) {
            out.push_back(c);
        } else {
            out.append(kReplacement);
        }
    }
    return out;
}

std::string Utf8ToAscii(std::string_view utf8) {
    std::string out;
    while (!utf8.empty()) {
        if (static_cast<unsigned char>(utf8.front()) < 0x80) {
            out.push_back(utf8.front());
            utf8.remove_prefix(1);
        } else {
            utf8.remove_prefix(ReplaceUnrepresentable(utf8, out));
        }
    }
    return out;
}

}  // namespace

std::string AnsiCodePage() {
    std::string name;
    OpenAnsi(true, &name);
    return name;
}

std::string AnsiToUtf8(std::string_view ansi) {
    std::string name;
    std::optional<Converter> converter = OpenAnsi(true, &name);
    if (!converter)
        return AsciiToUtf8(ansi);
    return converter->Convert(ansi, ReplaceUndecodable);
}

std::string Utf8ToAnsi(std::string_view utf8) {
    std::string name;
    std::optional<Converter> converter = OpenAnsi(false, &name);
    if (!converter)
        return Utf8ToAscii(utf8);
    return converter->Convert(utf8, ReplaceUnrepresentable);
}

}  // namespace platform
