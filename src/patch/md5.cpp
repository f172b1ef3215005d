#include "patch/md5.h"

#include <unistd.h>

#include <cerrno>
#include <memory>
#include <system_error>

#include "patch/md5_context.h"

namespace {

constexpr std::size_t kFileBlock = 0x50000;  // few read calls for large archives

}  // namespace

std::string CMD5::GetStringMD5(std::string text) const {
    CMd5Context context;
    context.Update(text.data(), text.size());
    return context.Finish();
}

std::string CMD5::GetFileMD5(int fd) const {
    CMd5Context context;
    const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kFileBlock);
    for (;;) {
        const ssize_t got = read(fd, buffer.get(), kFileBlock);
        if (got > 0) {
            context.Update(buffer.get(), static_cast<std::size_t>(got));
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "read");
        }
    }
    return context.Finish();
}
