#include "patch/md5.h"

#include <cerrno>
#include <memory>
#include <system_error>

#include "patch/md5_context.h"

namespace patch {

namespace {

constexpr std::size_t kFileBlock = 0x50000;  // few read calls for large archives

}  // namespace

std::string CMD5::GetStringMD5(std::string text) const {
    CMd5Context context;
    context.Update(text.data(), text.size());
    return context.Finish();
}

std::string CMD5::GetFileMD5(platform::File& file) const {
    CMd5Context context;
    const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kFileBlock);
    for (;;) {
        const long got = file.Read(buffer.get(), kFileBlock);
        if (got == 0)
            break;
        if (got < 0)
            throw std::system_error(errno, std::generic_category(), "read: " + file.Error());
        context.Update(buffer.get(), static_cast<std::size_t>(got));
    }
    return context.Finish();
}

}  // namespace patch
