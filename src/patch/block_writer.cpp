#include "patch/block_writer.h"

namespace patch {

namespace {

// Enough for the digest to catch up with a burst of the connection.
constexpr int kBuffers = 6;

}  // namespace

CBlockWriter::CBlockWriter(platform::PartFile& part, CMd5Context* digest, std::size_t blockSize)
    : m_part(part), m_digest(digest), m_blockSize(blockSize) {
    for (int i = 0; i < kBuffers; ++i) {
        m_buffers.push_back(std::make_unique_for_overwrite<char[]>(blockSize));
        m_free.push_back(m_buffers.back().get());
    }
    if (m_digest != nullptr)
        m_thread = std::thread(&CBlockWriter::Run, this);
}

CBlockWriter::~CBlockWriter() {
    Finish();
}

char* CBlockWriter::Next() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_failed || !m_free.empty(); });
    if (m_failed)
        return nullptr;
    char* block = m_free.back();
    m_free.pop_back();
    return block;
}

void CBlockWriter::Put(char* block, std::size_t size) {
    const bool failed = size > 0 && !m_part.Write(block, size);
    if (failed || size == 0 || m_digest == nullptr) {
        Release(block, failed);
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_full.emplace_back(block, size);
    }
    m_changed.notify_all();
}

bool CBlockWriter::Finish() {
    if (m_thread.joinable()) {
        {
            std::lock_guard lock(m_mutex);
            m_ending = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    std::lock_guard lock(m_mutex);
    return !m_failed;
}

void CBlockWriter::Release(char* block, bool failed) {
    {
        std::lock_guard lock(m_mutex);
        m_failed = m_failed || failed;
        m_free.push_back(block);
    }
    m_changed.notify_all();
}

void CBlockWriter::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_ending || !m_full.empty(); });
        if (m_full.empty())
            return;
        const auto [block, size] = m_full.front();
        m_full.pop_front();
        lock.unlock();
        m_digest->Update(block, size);
        lock.lock();
        m_free.push_back(block);
        m_changed.notify_all();
    }
}

}  // namespace patch
