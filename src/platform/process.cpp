#include "platform/process.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace platform {

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> pieces;
    std::size_t pos = 0;
    while (pos < line.size()) {
        const std::size_t begin = line.find_first_not_of(" \t", pos);
        if (begin == std::string_view::npos)
            break;
        const std::size_t end = std::min(line.find_first_of(" \t", begin), line.size());
        pieces.emplace_back(line.substr(begin, end - begin));
        pos = end;
    }
    return pieces;
}

std::string JoinArguments(int argc, const char* const* argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            line += ' ';
        line += argv[i];
    }
    return line;
}

void ExitProcessNow(int code) {
    std::fflush(nullptr);
    std::_Exit(code);
}

}  // namespace platform
