// Our own profile-string reader and writer (the rules the Linux edition runs on) held against
// the system's functions, on the fuzz corpus, on edge cases and on files made from their pieces.
// Every lookup either gives the same answer from both or is a difference kept below with the
// reason it is kept.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/profile.h"
#include "platform/profile_text.h"
#include "support/test_support.h"

namespace {

using quend::test::readFile;
using quend::test::TempDir;
using quend::test::writeFile;

std::string Utf16File(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    for (const wchar_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

// Edge cases, each named.
std::vector<std::pair<std::string, std::string>> EdgeCases() {
    const std::string gbk = "\xD6\xD0\xCE\xC4";
    return {
        {"lone CR", "[A]\rk=1\rj=2"},
        {"CR only, CR LF after", "[A]\rk=1\r[B]\r\nj=2\r\n"},
        {"LF then CR", "[A]\n\rk=1\n\r"},
        {"UTF-16LE with BOM",
         Utf16File(L"[Skin]\r\nBg = \"bg.bmp\"\r\n[\x4E2D\x6587]\r\nk=\x503C\r\n")},
        {"UTF-16LE, LF only", Utf16File(L"[S]\nk=v\n")},
        {"UTF-8 BOM on the first section", "\xEF\xBB\xBF[S]\r\nk=v\r\n"},
        {"UTF-8 BOM before a blank line", "\xEF\xBB\xBF\r\n[S]\r\nk=v\r\n"},
        {"NUL in a value", std::string("[S]\r\nk=ab\0cd\r\nj=2\r\n", 21)},
        {"NUL in a key", std::string("[S]\r\nk\0x=1\r\n", 12)},
        {"NUL in a section", std::string("[S\0T]\r\nk=1\r\n", 12)},
        {"duplicate sections", "[S]\r\nk=1\r\n[s]\r\nk=2\r\nj=3\r\n"},
        {"duplicate keys", "[S]\r\nk=1\r\nK=2\r\n"},
        {"long line", "[S]\r\nk=" + std::string(70000, 'v') + "\r\nj=2\r\n"},
        {"long name", "[" + std::string(5000, 's') + "]\r\nk=1\r\n"},
        {"blanks around names and values", "[ S ]\r\n \t k \t = \t v w \t \r\n"},
        {"quotes", "[Q]\r\nd=\"a\"\r\ns='b'\r\nm=\"c'\r\ne=\"\"\r\nl=\"\r\ni=\"a\"b\"\r\n"},
        {"comment lines", "[S]\r\n;k=1\r\n #j=2\r\nk=3\r\n"},
        {"no section", "k=1\r\n[S]\r\nj=2\r\n"},
        {"broken header", "[S\r\nk=1\r\n[T]x\r\nj=2\r\n"},
        {"empty section name", "[]\r\nk=1\r\n"},
        {"GBK texts", "[" + gbk + "]\r\n" + gbk + "=" + gbk + "\r\n"},
        {"no line end", "[S]\r\nk=v"},
        {"Ctrl-Z", "[S]\r\nk=v\x1A\r\n"},
        {"empty", ""},
    };
}

// A file made of the pieces that trouble readers, drawn with a fixed seed.
std::string RandomFile(std::mt19937& random) {
    using namespace std::string_view_literals;
    static constexpr std::string_view kPieces[] = {
        "[S]"sv, "[ s ]"sv, "[T]"sv, "["sv,        "]"sv,   "k"sv,         " K "sv, "j"sv,
        "="sv,   "v"sv,     " "sv,   "\t"sv,       "\""sv,  "'"sv,         ";"sv,   "\r\n"sv,
        "\n"sv,  "\r"sv,    "\0"sv,  "\xD6\xD0"sv, "x=y"sv, "[S]\r\nk=1"sv};
    std::string file;
    const int count = static_cast<int>(random() % 40);
    for (int i = 0; i < count; ++i)
        file += kPieces[random() % std::size(kPieces)];
    return file;
}

std::vector<std::pair<std::string, std::string>> Corpus() {
    std::vector<std::pair<std::string, std::string>> files = EdgeCases();
    const char* source = std::getenv("QUEND_TEST_SOURCE_DIR");
    if (source != nullptr) {
        for (const char* folder : {"fuzz_profile", "fuzz_ini"}) {
            const auto seeds = std::filesystem::path(source) / "tests/fuzz/seeds" / folder;
            for (const auto& entry : std::filesystem::directory_iterator(seeds))
                files.emplace_back(entry.path().filename().string(), readFile(entry.path()));
        }
    }
    std::mt19937 random(14);
    for (int i = 0; i < 400; ++i)
        files.emplace_back("random " + std::to_string(i), RandomFile(random));
    return files;
}

struct Query {
    std::optional<std::string> section;
    std::optional<std::string> key;
};

const char* OrNull(const std::optional<std::string>& text) {
    return text ? text->c_str() : nullptr;
}

std::string Ours(const std::string& content, const Query& q, std::size_t size = 1 << 17) {
    std::string buffer(size, '\x7F');
    const std::size_t count = platform::ReadProfileText(content, OrNull(q.section), OrNull(q.key),
                                                        "<default>", buffer.data(), size);
    return buffer.substr(0, std::min(count + 1, size));
}

std::string System(const std::string& file, const Query& q, std::size_t size = 1 << 17) {
    std::string buffer(size, '\x7F');
    const std::size_t count = platform::ReadProfileString(OrNull(q.section), OrNull(q.key),
                                                          "<default>", buffer.data(), size, file);
    return buffer.substr(0, std::min(count + 1, size));
}

std::vector<std::string> Names(const std::string& list) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start < list.size() && list[start] != '\0') {
        const std::size_t end = list.find('\0', start);
        names.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

// The lookups worth making in a file: every section either reader names, every key of those,
// and names that do not occur.
std::vector<Query> Queries(const std::string& content, const std::string& file) {
    std::vector<Query> queries{
        {std::nullopt, std::nullopt}, {"Missing", std::nullopt}, {"Missing", "k"}, {"", "k"}};
    std::set<std::string> sections;
    for (const std::string& list : {Ours(content, {}), System(file, {})}) {
        for (const std::string& name : Names(list))
            sections.insert(name);
    }
    for (const std::string& section : sections) {
        queries.push_back({section, std::nullopt});
        queries.push_back({" " + section + " ", "k"});
        std::set<std::string> keys{"k", "K", "j", "missing"};
        for (const std::string& list :
             {Ours(content, {section, std::nullopt}), System(file, {section, std::nullopt})}) {
            for (const std::string& name : Names(list))
                keys.insert(name);
        }
        for (const std::string& key : keys)
            queries.push_back({section, key});
    }
    return queries;
}

std::string Shown(const Query& q) {
    return "[" + (q.section ? *q.section : "<null>") + "] " + (q.key ? *q.key : "<null>");
}

// A difference kept, with the reason it is kept; `applies` tells it by the file and lookup.
struct Kept {
    const char* reason;
    std::function<bool(const std::string& content, const Query& q)> applies;
};

// The file's lines as the system splits them, blanks around each dropped.
std::vector<std::string> TrimmedLines(const std::string& content) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= content.size()) {
        const std::size_t end = std::min(content.find_first_of("\r\n", start), content.size());
        std::string line = content.substr(start, end - start);
        line.erase(0, line.find_first_not_of(" \t"));
        line.erase(line.find_last_not_of(" \t") + 1);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

const std::vector<Kept>& KeptDifferences() {
    static const std::vector<Kept> kept = {
        {"A line without \"=\" is no key line: the format's keys are a name, an equals sign and "
         "a value. Wine keeps such a line as a key without a value, which hides a later key of "
         "that name; the documentation says nothing of it.",
         [](const std::string& content, const Query& q) {
             const auto lines = TrimmedLines(content);
             return q.key && std::any_of(lines.begin(), lines.end(), [&q](const std::string& l) {
                        return platform::EqualsNoCase(l, *q.key);
                    });
         }},
        {"A NUL inside a section header: we end the name there; Wine ends the line there first "
         "and looks for the \"]\" before it. No editor writes such a header.",
         [](const std::string& content, const Query&) {
             const auto lines = TrimmedLines(content);
             return std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
                 return !l.empty() && l.front() == '[' && l.find('\0') != std::string::npos;
             });
         }},
    };
    return kept;
}

// Equal answers pass; a difference a kept reason covers is counted; any other fails.
void Hold(const std::string& what, const std::string& content, const Query& q,
          const std::string& ours, const std::string& system, const std::vector<Kept>& kept,
          std::map<std::string, int>& keptCount) {
    if (ours == system)
        return;
    const auto reason = std::find_if(kept.begin(), kept.end(),
                                     [&](const Kept& k) { return k.applies(content, q); });
    if (reason != kept.end()) {
        ++keptCount[reason->reason];
        return;
    }
    ADD_FAILURE() << what << "\n  ours:   " << testing::PrintToString(ours)
                  << "\n  system: " << testing::PrintToString(system)
                  << "\n  file:   " << testing::PrintToString(content.substr(0, 300));
}

void Report(const char* what, int compared, const std::map<std::string, int>& keptCount) {
    std::printf("%d lookups compared%s\n", compared, what);
    for (const auto& [reason, count] : keptCount)
        std::printf("kept %d: %s\n", count, reason.c_str());
}

TEST(ProfileSystemTest, ReadsAgreeWithTheSystemExceptWhereKept) {
    quend::test::setEnv("QUEND_CODEPAGE", "GBK");
    const TempDir dir;
    const std::string file = (dir / "profile.ini").string();
    std::map<std::string, int> keptCount;
    int compared = 0;
    for (const auto& [name, content] : Corpus()) {
        writeFile(file, content);
        for (const Query& q : Queries(content, file)) {
            ++compared;
            Hold(name + ": " + Shown(q), content, q, Ours(content, q), System(file, q),
                 KeptDifferences(), keptCount);
        }
    }
    Report("", compared, keptCount);
}

// Beside those of reading: the system writes the whole file anew from what it read.
const std::vector<Kept>& KeptAfterWrites() {
    static const std::vector<Kept> kept = [] {
        std::vector<Kept> all = KeptDifferences();
        all.push_back(
            {"Wine writes every line anew from what it read, so lines it read oddly change their "
             "meaning (an empty \"[]\" header goes and its keys join the part before the first "
             "section; blanks before a NUL in a value go). Ours leaves every other line as it "
             "was, as a write to the game's settings file must.",
             [](const std::string& content, const Query&) {
                 const auto lines = TrimmedLines(content);
                 return content.find('\0') != std::string::npos ||
                        std::find(lines.begin(), lines.end(), "[]") != lines.end();
             }});
        return all;
    }();
    return kept;
}

struct Write {
    const char* section;
    const char* key;
    const char* value;
};

std::string Shown(const Write& w) {
    return std::string("write [") + (w.section ? w.section : "<null>") + "] " +
           (w.key ? w.key : "<null>") + " = " + (w.value ? w.value : "<null>");
}

// Ours writes one file, the system another from the same content; the system's reader must then
// read the same from both.
TEST(ProfileSystemTest, WritesAgreeWithTheSystemExceptWhereKept) {
    quend::test::setEnv("QUEND_CODEPAGE", "GBK");
    const TempDir dir;
    const std::string oursFile = (dir / "ours.ini").string();
    const std::string systemFile = (dir / "system.ini").string();
    const Write writes[] = {{"Fuzz", "Key", "fuzz value"},
                            {"S", "k", "new"},
                            {"s", "J", "2"},
                            {"S", "k", nullptr},
                            {"S", nullptr, nullptr},
                            {"Server", "ServerHost", "10.0.0.1"}};
    std::map<std::string, int> keptCount;
    int compared = 0;
    const auto corpus = Corpus();
    for (std::size_t i = 0; i < std::min<std::size_t>(corpus.size(), 160); ++i) {
        const auto& [name, content] = corpus[i];
        for (const Write& w : writes) {
            std::string updated = content;
            const platform::ProfileEdit edit =
                platform::EditProfileText(content, w.section, w.key, w.value, &updated);
            writeFile(oursFile, edit == platform::ProfileEdit::kRefused ? content : updated);
            writeFile(systemFile, content);
            const bool written =
                platform::WriteProfileString(w.section, w.key, w.value, systemFile);
            if (edit == platform::ProfileEdit::kRefused || !written) {
                const bool kept = edit == platform::ProfileEdit::kRefused && written &&
                                  content.starts_with("\xFF\xFE");
                if (kept)
                    ++keptCount
                        ["A UTF-16 file that would not come back byte for byte is left "
                         "alone by ours; the system rewrites it."];
                else if ((edit == platform::ProfileEdit::kRefused) != !written)
                    ADD_FAILURE() << name << ": " << Shown(w) << " refused by only one";
                continue;
            }
            for (const Query& q : Queries(readFile(oursFile), oursFile)) {
                ++compared;
                Hold(name + ": " + Shown(w) + ", then " + Shown(q), content, q, System(oursFile, q),
                     System(systemFile, q), KeptAfterWrites(), keptCount);
            }
        }
    }
    Report(" after writes", compared, keptCount);
}

}  // namespace
