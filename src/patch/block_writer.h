#pragma once
// Writes the blocks of one download into its part file on the connection's thread and digests
// them on a thread of its own while the connection reads and writes the next: the digest, the
// slowest step, has a core to itself. A few buffers go round between the two. Next, Put and
// Finish belong to the connection's thread; the digest is the writer's until Finish returns.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "patch/md5_context.h"
#include "platform/part_file.h"

namespace patch {

class CBlockWriter final {
public:
    // `digest` may be null: the bytes are then only written.
    CBlockWriter(platform::PartFile& part, CMd5Context* digest, std::size_t blockSize);
    // Waits as Finish does.
    ~CBlockWriter();
    CBlockWriter(const CBlockWriter&) = delete;
    CBlockWriter& operator=(const CBlockWriter&) = delete;

    std::size_t BlockSize() const { return m_blockSize; }
    // A free buffer of BlockSize() bytes; waits while every buffer is on its way. Null once a
    // write failed.
    char* Next();
    // Writes the buffer Next gave with `size` bytes in it and hands it over to be digested; 0
    // gives it back unused.
    void Put(char* block, std::size_t size);
    // Waits until every block handed over is written and digested; false when a write failed
    // (the part file's Error says why). Nothing may be handed over afterwards.
    bool Finish();

private:
    void Run();
    // Gives a buffer back; `failed`: its write failed, and every later Next answers null.
    void Release(char* block, bool failed);

    platform::PartFile& m_part;
    CMd5Context* m_digest;
    const std::size_t m_blockSize;
    std::vector<std::unique_ptr<char[]>> m_buffers;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::pair<char*, std::size_t>> m_full;
    std::vector<char*> m_free;
    bool m_ending = false;
    bool m_failed = false;
    std::thread m_thread;
};

}  // namespace patch
