#include "patch/file_fetcher.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "patch/block_writer.h"
#include "patch/checksum_list.h"
#include "patch/file_finisher.h"
#include "patch/pass_progress.h"
#include "patch/resume_part.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/window_messages.h"

namespace patch {

namespace {

constexpr std::size_t kReadSize = 327680;  // 0x50000: one read of a reply body
// Files up to this size arrive whole in memory and are finished beside the connection.
constexpr std::uint64_t kWholeLimit = 512 * 1024;

FileOutcome ServerFailure(const std::string& path, std::string reason) {
    return {FileOutcome::Kind::ServerFailed, path, std::move(reason)};
}

FileOutcome LocalFailure(const std::string& path, std::string reason) {
    return {FileOutcome::Kind::LocalFailed, path, std::move(reason)};
}

FileOutcome Cancelled(const std::string& path) {
    return {FileOutcome::Kind::Cancelled, path, "cancelled"};
}

// Hexadecimal digits compare without regard to case: a list written in upper case still installs.
bool SameDigest(const std::string& listed, const std::string& computed) {
    return std::equal(listed.begin(), listed.end(), computed.begin(), computed.end(),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

// "bytes FIRST-LAST/TOTAL" naming exactly the rest of the file from `from`.
bool RangeIsRest(const std::optional<std::string>& header, std::uint64_t from, std::uint64_t size) {
    if (!header || !header->starts_with("bytes "))
        return false;
    const char* text = header->c_str() + 6;
    char* end = nullptr;
    const unsigned long long first = std::strtoull(text, &end, 10);
    if (end == text || *end != '-')
        return false;
    text = end + 1;
    const unsigned long long last = std::strtoull(text, &end, 10);
    if (end == text || *end != '/')
        return false;
    text = end + 1;
    const unsigned long long total = std::strtoull(text, &end, 10);
    const bool totalMatches =
        (end != text && *end == '\0' && total == size) || std::string_view(text) == "*";
    return first == from && size > 0 && last == size - 1 && totalMatches;
}

}  // namespace

CFileFetcher::CFileFetcher(std::string userAgent, Retries retries)
    : m_session(std::move(userAgent)), m_retries(retries), m_buffer(kReadSize) {}

void CFileFetcher::Fetch(const Request& request, const Hooks& hooks, const std::atomic<bool>& stop,
                         Report& report) {
    const std::string& name = request.entry.fileName;
    if (!IsSafeListPath(name)) {
        report.outcome = ServerFailure(name, "the list names a file outside the game folder");
    } else {
        Progress progress;
        Transfer(request, progress, hooks, stop, report);
        report.resumed = progress.resumed;
        // A part file that holds nothing would only be in the way.
        if (progress.part.IsOpen() && progress.have == 0)
            progress.part.Discard();
    }
    // The file is done with, whatever became of it: the bar takes the rest of its share.
    if (hooks.pass != nullptr && request.listed)
        hooks.pass->Advance(CPassProgress::kFileWork + request.entry.Bytes() -
                            std::min(report.credited, request.entry.Bytes()));
}

// Sets the report's outcome, unless the finisher is to.
void CFileFetcher::Transfer(const Request& request, Progress& progress, const Hooks& hooks,
                            const std::atomic<bool>& stop, Report& report) {
    if (request.listed && TakeExistingPart(request, progress, stop)) {
        report.outcome = Finish(request, progress);
        Credit(request, progress.have, hooks, report);
        if (report.outcome.kind != FileOutcome::Kind::ServerFailed)
            return;
    }
    auto delay = m_retries.delay;
    for (int tries = 0;; ++tries) {
        if (stop) {
            report.outcome = Cancelled(request.localPath);
            return;
        }
        Attempt attempt = TryOnce(request, progress, hooks, stop, report);
        if (attempt.deferred)
            return;
        report.outcome = std::move(attempt.outcome);
        if (!attempt.again || tries >= m_retries.count)
            return;
        if (hooks.pause && !hooks.pause(delay)) {
            report.outcome = Cancelled(request.localPath);
            return;
        }
        delay *= 2;
    }
}

// A part file an earlier attempt left: its bytes are digested again, since the whole file's
// digest must cover them. True when it holds the whole file already.
bool CFileFetcher::TakeExistingPart(const Request& request, Progress& progress,
                                    const std::atomic<bool>& stop) {
    progress.digest.emplace();
    if (!request.mayHavePart)
        return false;
    const std::string path = ResumePartPath(request.localPath, request.entry);
    const auto info = path.empty() ? std::nullopt : platform::PathInfo(path);
    if (!info || !info->regular || info->size == 0)
        return false;
    progress.part = platform::PartFile::OpenNamed(request.localPath, path);
    const std::uint64_t size = request.entry.Bytes();
    if (!progress.part.IsOpen() || progress.part.Size() > size) {
        StartOver(progress);
        return false;
    }
    for (std::uint64_t at = 0; at < progress.part.Size();) {
        const long got = progress.part.ReadAt(m_buffer.data(), m_buffer.size(), at);
        if (got <= 0 || stop) {
            StartOver(progress);
            return false;
        }
        progress.digest->Update(m_buffer.data(), static_cast<std::size_t>(got));
        at += static_cast<std::uint64_t>(got);
    }
    progress.have = progress.resumed = progress.part.Size();
    return progress.have == size;
}

void CFileFetcher::StartOver(Progress& progress) {
    if (progress.part.IsOpen() && !progress.part.Truncate(0))
        progress.part.Discard();
    progress.digest.emplace();
    progress.have = 0;
    progress.resumed = 0;
}

CFileFetcher::Attempt CFileFetcher::TryOnce(const Request& request, Progress& progress,
                                            const Hooks& hooks, const std::atomic<bool>& stop,
                                            Report& report) {
    const std::string& localPath = request.localPath;
    std::vector<std::string> headers;
    if (progress.have > 0)
        headers.push_back("Range: bytes=" + std::to_string(progress.have) + "-");
    ++report.requests;
    if (!m_session.Get(request.url, headers)) {
        if (stop)
            return {Cancelled(localPath)};
        return {ServerFailure(localPath, m_session.LastError()), true};
    }
    const int status = m_session.Status();
    const std::uint64_t size = request.entry.Bytes();
    if (status == 206 && request.listed) {
        if (!RangeIsRest(m_session.Header("Content-Range"), progress.have, size)) {
            m_session.Close();
            StartOver(progress);
            return {ServerFailure(localPath, "the server sent another part of the file"), true};
        }
    } else if (status == 200) {
        if (progress.have > 0)
            StartOver(progress);  // the server sends the whole file: it takes the part's place
    } else if (status == 416 && progress.have > 0) {
        // The server's file is shorter than the part: the part cannot be of it.
        m_session.Close();
        StartOver(progress);
        return {ServerFailure(localPath, "the server has no such part of the file"), true};
    } else {
        m_session.Close();
        return {ServerFailure(localPath, "HTTP status " + std::to_string(status))};
    }
    const std::optional<std::uint64_t> announced = m_session.ContentLength();
    if (request.listed && announced && *announced != size - progress.have) {
        m_session.Close();
        return {ServerFailure(localPath, "the server announced " + std::to_string(*announced) +
                                             " bytes, the list " +
                                             std::to_string(size - progress.have))};
    }
    if (hooks.files != nullptr)
        hooks.files->Post({platform::WM_DOWN_FILE, 0, 0, localPath});
    // A small fresh file goes whole to the finisher; every other into its part file as it comes.
    const bool whole = hooks.finisher != nullptr && request.listed && progress.have == 0 &&
                       !progress.part.IsOpen() && size <= kWholeLimit;
    if (!whole) {
        if (const auto failed = OpenPart(request, progress)) {
            m_session.Close();
            return {*failed};
        }
    }
    if (announced)
        m_nContentLength = static_cast<std::uint32_t>(*announced);
    if (hooks.files != nullptr)
        hooks.files->Post({platform::WM_DOWN_RANGE, m_nContentLength, 0, {}});
    Attempt attempt = whole ? ReceiveWhole(request, progress, hooks, stop, report)
                            : Receive(request, progress, status == 206, hooks, stop, report);
    m_session.Close();
    return attempt;
}

// The body goes into memory; a transfer cut on the way leaves what came in the part file, as
// the other way does, for the next try to go on from.
CFileFetcher::Attempt CFileFetcher::ReceiveWhole(const Request& request, Progress& progress,
                                                 const Hooks& hooks, const std::atomic<bool>& stop,
                                                 Report& report) {
    const std::string& localPath = request.localPath;
    const std::uint64_t size = request.entry.Bytes();
    std::vector<char> body(static_cast<std::size_t>(size));
    std::size_t have = 0;
    for (;;) {
        // One byte of room past the listed size shows a body that is longer.
        char extra = 0;
        char* into = have < body.size() ? body.data() + have : &extra;
        const long count =
            m_session.Read(into, have < body.size() ? std::min(body.size() - have, kReadSize) : 1);
        if (count < 0 || (count > 0 && have == body.size())) {
            if (count > 0)
                return {ServerFailure(localPath, "longer than " + std::to_string(size) + " bytes")};
            if (stop)
                return {Cancelled(localPath)};
            if (have > 0 && !OpenPart(request, progress) &&
                progress.part.Write(body.data(), have)) {
                progress.digest->Update(body.data(), have);
                progress.have = have;
            }
            return {ServerFailure(localPath, m_session.LastError()), true};
        }
        if (count == 0)
            break;
        have += static_cast<std::size_t>(count);
        report.received += static_cast<std::uint64_t>(count);
        m_nLastRead = static_cast<std::uint32_t>(count);
        if (hooks.files != nullptr)
            hooks.files->Post({platform::WM_DOWN_PROGRESS, count, 0, {}});
        Credit(request, have, hooks, report);
    }
    if (have != body.size())
        return {ServerFailure(localPath, "received " + std::to_string(have) + " of " +
                                             std::to_string(size) + " bytes"),
                true};
    hooks.finisher->Submit(request, std::move(body), report);
    return {{}, false, true};
}

FileOutcome CFileFetcher::FinishWhole(const Request& request, const std::vector<char>& body) {
    CMd5Context digest;
    digest.Update(body.data(), body.size());
    if (!SameDigest(request.entry.md5, digest.Finish()))
        return ServerFailure(request.localPath, "the received bytes do not have the listed digest");
    std::string folderError;
    const std::size_t slash = platform::LastNativeSeparator(request.localPath);
    if (slash != std::string::npos && slash > 0)
        platform::CreateFolders(request.localPath.substr(0, slash), folderError);
    const std::string path = ResumePartPath(request.localPath, request.entry);
    platform::PartFile part =
        path.empty() ? platform::PartFile::CreateUnique(request.localPath, std::string(kPartPrefix))
                     : platform::PartFile::OpenNamed(request.localPath, path);
    const auto failed = [&] {
        FileOutcome outcome =
            LocalFailure(request.localPath, folderError.empty() ? part.Error() : folderError);
        part.Discard();
        return outcome;
    };
    if (!part.IsOpen() || (part.Size() > 0 && !part.Truncate(0)) ||
        !part.Write(body.data(), body.size()))
        return failed();
    platform::PartFile::CommitOptions options;
    options.modifiedTime = request.entry.modifiedTime;
    if (!part.Commit(options))
        return LocalFailure(request.localPath, part.Error());
    return {FileOutcome::Kind::Fetched, request.localPath, {}};
}

std::optional<FileOutcome> CFileFetcher::OpenPart(const Request& request, Progress& progress) {
    if (progress.part.IsOpen())
        return std::nullopt;
    std::string folderError;
    const std::size_t slash = platform::LastNativeSeparator(request.localPath);
    if (slash != std::string::npos && slash > 0)
        platform::CreateFolders(request.localPath.substr(0, slash), folderError);
    const std::string path =
        request.listed ? ResumePartPath(request.localPath, request.entry) : std::string();
    progress.part =
        path.empty() ? platform::PartFile::CreateUnique(request.localPath, std::string(kPartPrefix))
                     : platform::PartFile::OpenNamed(request.localPath, path);
    if (!progress.part.IsOpen())
        return LocalFailure(request.localPath,
                            folderError.empty() ? progress.part.Error() : folderError);
    // A part file that appeared since the look before the request is not trusted.
    if (progress.part.Size() != progress.have && !progress.part.Truncate(0))
        return LocalFailure(request.localPath, progress.part.Error());
    return std::nullopt;
}

// A listed file must arrive with exactly its listed size and digest, whatever the server
// announces; the checksum list itself with exactly the announced length, where there is one.
CFileFetcher::Attempt CFileFetcher::Receive(const Request& request, Progress& progress,
                                            bool resumed, const Hooks& hooks,
                                            const std::atomic<bool>& stop, Report& report) {
    const std::string& localPath = request.localPath;
    std::optional<std::uint64_t> expected = m_session.ContentLength();
    if (expected)
        *expected += progress.have;
    if (request.listed)
        expected = request.entry.Bytes();
    const std::uint64_t most =
        request.listed ? *expected : std::min(expected.value_or(kMostListBytes), kMostListBytes);
    m_nLastRead = 0;
    // The part file and the digest belong to the writer until it has finished.
    CBlockWriter writer(progress.part, request.listed ? &*progress.digest : nullptr, kReadSize);
    for (char* block; (block = writer.Next()) != nullptr;) {
        const long count = m_session.Read(block, writer.BlockSize());
        if (count <= 0) {
            writer.Put(block, 0);
            if (count == 0)
                break;
            // The bytes so far stay in the part file for the next try.
            if (!writer.Finish())
                return {LocalFailure(localPath, progress.part.Error())};
            if (stop)
                return {Cancelled(localPath)};
            return {ServerFailure(localPath, m_session.LastError()), true};
        }
        m_nLastRead = static_cast<std::uint32_t>(count);
        const auto bytes = static_cast<std::uint64_t>(count);
        // A hostile server cannot fill the disk: no more than expected.
        if (progress.have + bytes > most) {
            writer.Put(block, 0);
            writer.Finish();
            progress.part.Discard();
            return {ServerFailure(localPath, "longer than " + std::to_string(most) + " bytes")};
        }
        writer.Put(block, static_cast<std::size_t>(count));
        progress.have += bytes;
        report.received += bytes;
        if (hooks.files != nullptr)
            hooks.files->Post({platform::WM_DOWN_PROGRESS, count, 0, {}});
        Credit(request, progress.have, hooks, report);
    }
    if (!writer.Finish())
        return {LocalFailure(localPath, progress.part.Error())};
    if (expected && progress.have != *expected) {
        // Ended early without the client noticing: a connection closed where no length was
        // announced.
        return {ServerFailure(localPath, "received " + std::to_string(progress.have) + " of " +
                                             std::to_string(*expected) + " bytes"),
                true};
    }
    FileOutcome outcome = Finish(request, progress);
    // Bytes kept from an earlier attempt may be what spoilt the digest: once more from the start.
    const bool again = resumed && outcome.kind == FileOutcome::Kind::ServerFailed;
    return {std::move(outcome), again};
}

FileOutcome CFileFetcher::Finish(const Request& request, Progress& progress) {
    if (request.listed && !SameDigest(request.entry.md5, progress.digest->Finish())) {
        progress.part.Discard();
        progress.digest.emplace();
        progress.have = progress.resumed = 0;
        return ServerFailure(request.localPath, "the received bytes do not have the listed digest");
    }
    platform::PartFile::CommitOptions options;
    options.modifiedTime = request.entry.modifiedTime;
    if (!progress.part.Commit(options))
        return LocalFailure(request.localPath, progress.part.Error());
    return {FileOutcome::Kind::Fetched, request.localPath, {}};
}

// The overall bar takes each byte of the file once, however often it came.
void CFileFetcher::Credit(const Request& request, std::uint64_t have, const Hooks& hooks,
                          Report& report) {
    if (hooks.pass == nullptr || !request.listed)
        return;
    const std::uint64_t upTo = std::min(have, request.entry.Bytes());
    if (upTo > report.credited) {
        hooks.pass->Advance(upTo - report.credited);
        report.credited = upTo;
    }
}

}  // namespace patch
