// Stands in for the game (and for wine): writes its working folder and arguments, one a line,
// to "<its own path>.record", in UTF-8; on Windows also its command line after its name to
// "<its own path>.line".

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <windows.h>

namespace {

std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::wstring OwnPath() {
    std::wstring path(32768, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::filesystem::path record = OwnPath() + L".record";
    const auto arg = [&](int i) { return Utf8(argv[i]); };
    const std::string cwd = Utf8(std::filesystem::current_path());
    {
        // The command line as one text after the program's name and one blank: the parameters
        // exactly as the starter gave them, which argv cannot show.
        std::wstring_view line = ::GetCommandLineW();
        const std::size_t end = line.starts_with(L'"') ? line.find(L'"', 1) + 1 : line.find(L' ');
        line.remove_prefix(end == std::wstring_view::npos ? line.size()
                                                          : std::min(end + 1, line.size()));
        std::ofstream out(std::filesystem::path(OwnPath() + L".line"), std::ios::binary);
        out << Utf8(std::filesystem::path(std::wstring(line)));
    }
#else
int main(int argc, char** argv) {
    const std::filesystem::path record =
        std::filesystem::read_symlink("/proc/self/exe").string() + ".record";
    const auto arg = [&](int i) { return std::string(argv[i]); };
    const std::string cwd = std::filesystem::current_path().string();
#endif
    std::filesystem::path part = record;
    part += ".part";
    {
        std::ofstream out(part, std::ios::binary);
        out << "cwd=" << cwd << "\n";
        for (int i = 1; i < argc; ++i)
            out << "arg=" << arg(i) << "\n";
    }
    // Renamed into place so that a reader never sees half a record.
    std::error_code error;
    std::filesystem::rename(part, record, error);
    return error ? 1 : 0;
}
