#include "app/message_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <utility>

namespace app {

platform::MessageHandler MessageLogHandler(std::string path) {
    return [path = std::move(path)](const std::string& caption, const std::string& text) {
        std::string line = caption + "\t";
        for (const char c : text)
            line += c == '\n' ? std::string("\\n") : std::string(1, c);
        line += '\n';
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0)
            return;
        // One write per line: O_APPEND keeps it whole.
        [[maybe_unused]] const ssize_t written = ::write(fd, line.data(), line.size());
        ::close(fd);
    };
}

}  // namespace app
