// Stands in for the game (and for wine): writes its working folder and arguments, one a line,
// to "<its own path>.record".

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    const std::string record = std::filesystem::read_symlink("/proc/self/exe").string() + ".record";
    {
        std::ofstream out(record + ".part", std::ios::binary);
        out << "cwd=" << std::filesystem::current_path().string() << "\n";
        for (int i = 1; i < argc; ++i)
            out << "arg=" << argv[i] << "\n";
    }
    // Renamed into place so that a reader never sees half a record.
    return std::rename((record + ".part").c_str(), record.c_str()) == 0 ? 0 : 1;
}
