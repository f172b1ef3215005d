#include "platform/part_file.h"

#include <utility>

#include "platform/file_system.h"

namespace platform {

PartFile::PartFile(std::string target, std::string path, File file, bool keep)
    : m_target(std::move(target)), m_path(std::move(path)), m_file(std::move(file)), m_keep(keep) {}

PartFile::~PartFile() {
    if (!m_keep)
        Discard();
}

PartFile::PartFile(PartFile&& other) noexcept
    : m_target(std::move(other.m_target)),
      m_path(std::exchange(other.m_path, {})),
      m_file(std::move(other.m_file)),
      m_size(other.m_size),
      m_keep(other.m_keep),
      m_error(std::move(other.m_error)) {}

PartFile& PartFile::operator=(PartFile&& other) noexcept {
    if (this != &other) {
        if (!m_keep)
            Discard();
        m_target = std::move(other.m_target);
        m_path = std::exchange(other.m_path, {});
        m_file = std::move(other.m_file);
        m_size = other.m_size;
        m_keep = other.m_keep;
        m_error = std::move(other.m_error);
    }
    return *this;
}

bool PartFile::Fail(const File& file) {
    m_error = file.Error();
    return false;
}

long PartFile::ReadAt(void* buffer, std::size_t n, std::uint64_t offset) {
    const long got = m_file.ReadAt(buffer, n, offset);
    if (got < 0)
        Fail(m_file);
    return got;
}

bool PartFile::Write(const void* data, std::size_t n) {
    if (!m_file.Write(data, n))
        return Fail(m_file);
    m_size += n;
    return true;
}

bool PartFile::Truncate(std::uint64_t size) {
    if (!m_file.Truncate(size))
        return Fail(m_file);
    m_size = size;
    return true;
}

void PartFile::Discard() {
    m_file = File();
    if (!m_path.empty()) {
        RemoveFile(m_path);
        m_path.clear();
    }
}

}  // namespace platform
