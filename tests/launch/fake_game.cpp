// Stands in for the game (and for wine): writes its working folder and arguments, one a line,
// to "<its own path>.record". With the argument "--linger" it records nothing and waits to be
// ended instead.

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--linger") == 0) {
            ::sleep(60);
            return 0;
        }
    }
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string temp = self + ".record.part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << "cwd=" << std::filesystem::current_path().string() << "\n";
        for (int i = 1; i < argc; ++i)
            out << "arg=" << argv[i] << "\n";
    }
    // Renamed into place so that a reader never sees half a record.
    return std::rename(temp.c_str(), (self + ".record").c_str()) == 0 ? 0 : 1;
}
