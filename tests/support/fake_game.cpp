// Stands in for the game (and for wine): writes its working folder and arguments, one a line,
// to "<its own path>.record", in UTF-8.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

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
