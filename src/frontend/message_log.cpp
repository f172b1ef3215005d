#include "frontend/message_log.h"

#include <cstdio>
#include <memory>
#include <utility>

namespace frontend {

platform::MessageHandler MessageLogHandler(std::string path) {
    return [path = std::move(path)](const std::string& caption, const std::string& text) {
        std::string line = caption + "\t";
        for (const char c : text)
            line += c == '\n' ? std::string("\\n") : std::string(1, c);
        line += '\n';
        const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "ab"),
                                                                   &std::fclose);
        if (!file)
            return;
        // Unbuffered and in append mode: the line goes out in one write at the file's end.
        std::setvbuf(file.get(), nullptr, _IONBF, 0);
        [[maybe_unused]] const std::size_t written =
            std::fwrite(line.data(), 1, line.size(), file.get());
    };
}

}  // namespace frontend
