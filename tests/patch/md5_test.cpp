// CMD5 against the RFC 1321 suite and OpenSSL: texts of every length around the block edges, and
// files it cannot read; the lanes of the verify pool against OpenSSL.

#include "patch/md5.h"
#include "patch/md5_lanes.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "support/test_support.h"

namespace {

using namespace quend::test;

constexpr std::size_t kBlock = 327680;
constexpr char kEmptyDigest[] = "d41d8cd98f00b204e9800998ecf8427e";

std::string referenceMd5(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EXPECT_EQ(EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_md5(), nullptr), 1);
    std::string text;
    for (unsigned int i = 0; i < size; ++i)
        text += {"0123456789abcdef"[digest[i] >> 4], "0123456789abcdef"[digest[i] & 15]};
    return text;
}

TEST(Md5, DigestsTheRfc1321SuiteAndMatchesTheReferenceAroundTheBlockEdges) {
    const std::pair<const char*, const char*> suite[] = {
        {"", kEmptyDigest},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [text, digest] : suite)
        EXPECT_EQ(patch::CMD5().GetStringMD5(text), digest) << '"' << text << '"';

    // "你好，世界" in GBK, then a zero byte and more: nothing is converted or cut short.
    const std::string gbk = "\xC4\xE3\xBA\xC3\xA3\xAC\xCA\xC0\xBD\xE7";
    std::vector<std::string> texts = {gbk, gbk + std::string(1, '\0') + gbk};
    for (std::size_t size = 0; size <= 200; ++size)
        texts.push_back(randomBytes(size, unsigned(size)));
    for (std::size_t size : {kBlock - 1, kBlock, kBlock + 1, std::size_t{5} << 20})
        texts.push_back(randomBytes(size, unsigned(size)));
    for (const std::string& text : texts)
        ASSERT_EQ(patch::CMD5().GetStringMD5(text), referenceMd5(text)) << "length " << text.size();
}

// A read error is no end of the file: the digest throws. (Many reads: the checksum writer's test.)
TEST(Md5, AFileThatCannotBeReadThrows) {
    TempDir dir;
    for (const int fd : {open(dir.path().c_str(), O_RDONLY | O_DIRECTORY), -1}) {
        platform::File file = platform::File::Adopt(fd);
        EXPECT_THROW(patch::CMD5().GetFileMD5(file), std::system_error) << fd;
    }
}

// Every width this processor runs digests many streams side by side as one digest would each: lanes
// start and end at different blocks, some idle for a call, the next stream where one ended.
TEST(Md5Lanes, EveryWidthDigestsEachLanesStreamAsOneDigestWould) {
    std::vector<std::string> streams;
    for (std::size_t size = 0; size <= 140; ++size)
        streams.push_back(randomBytes(size, unsigned(size) + 1000));
    for (std::size_t size : {std::size_t{1000}, std::size_t{4096}, std::size_t{70001}})
        streams.push_back(randomBytes(size, unsigned(size)));
    for (std::size_t most : {std::size_t{4}, std::size_t{8}, std::size_t{16}}) {
        patch::CMd5Lanes lanes(most);
        ASSERT_LE(lanes.Lanes(), most);
        std::vector<std::size_t> stream(lanes.Lanes(), streams.size()), done(lanes.Lanes(), 0);
        std::size_t next = 0, finished = 0, round = 0;
        while (finished < streams.size()) {
            std::vector<const unsigned char*> data(lanes.Lanes(), nullptr);
            std::size_t blocks = SIZE_MAX;
            for (std::size_t lane = 0; lane < lanes.Lanes(); ++lane) {
                while (stream[lane] < streams.size() &&
                       streams[stream[lane]].size() - done[lane] < 64) {
                    const std::string& text = streams[stream[lane]];
                    ASSERT_EQ(
                        lanes.Finish(lane, text.data() + done[lane], text.size() - done[lane]),
                        referenceMd5(text))
                        << lanes.Lanes() << " lanes, length " << text.size();
                    ++finished;
                    stream[lane] = streams.size();
                }
                if (stream[lane] == streams.size() && next < streams.size()) {
                    lanes.Reset(lane);
                    stream[lane] = next++;
                    done[lane] = 0;
                }
                const bool idle = (round + lane) % 3 == 0;
                if (stream[lane] == streams.size() || idle ||
                    streams[stream[lane]].size() - done[lane] < 64)
                    continue;
                data[lane] = reinterpret_cast<const unsigned char*>(streams[stream[lane]].data()) +
                             done[lane];
                blocks = std::min(blocks, (streams[stream[lane]].size() - done[lane]) / 64);
            }
            ++round;
            if (blocks == SIZE_MAX)
                continue;
            lanes.Compress(data.data(), blocks);
            for (std::size_t lane = 0; lane < lanes.Lanes(); ++lane)
                done[lane] += data[lane] ? 64 * blocks : 0;
        }
    }
}

}  // namespace
