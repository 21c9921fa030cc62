// SPDX-License-Identifier: MIT
// The one-shot scan behind `tallyvue-cli report` and the This Computer page: every file once,
// read by every core, merged in listing order so that de-duplication does not depend on
// which thread finished first.
#include "local/ReportScan.h"

#include "local/TranscriptReader.h"
#include "local/TranscriptTree.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace tallyvue {

using detail::ListedFile;
using detail::ReadEvent;
using detail::ReadRange;
using detail::ReadResult;
using detail::TranscriptKind;
using detail::TranscriptReader;

namespace {

// Fewer bytes than this are read by one thread: starting others costs more.
constexpr std::int64_t kParallelBytes = 4 << 20;

struct ListedTranscript
{
    std::string path;
    std::string parentName;
    std::int64_t size = 0;
    TranscriptKind kind = TranscriptKind::Claude;
};

/// A second, independent hash of an id: with the first, 96 bits that two different ids share
/// with a chance of about one in 10^16 even among millions of requests.
std::uint32_t checkHash(std::string_view id)
{
    std::uint32_t h = 2166136261u; // FNV-1a
    for (const char c : id)
        h = (h ^ std::uint8_t(c)) * 16777619u;
    return h;
}

/// Which event holds each request id, 16 bytes an id: a one-shot scan only ever adds ids, so
/// their bytes need not be kept for a later removal as the app's scanner keeps them.
class IdOwners
{
public:
    /// The event index that holds the id, or -1.
    std::int64_t find(std::uint64_t hash, std::string_view id) const
    {
        if (m_slots.empty())
            return -1;
        const std::uint32_t check = checkHash(id);
        for (std::size_t i = hash & m_mask;; i = (i + 1) & m_mask) {
            const Slot& slot = m_slots[i];
            if (slot.event == kEmpty)
                return -1;
            if (slot.hash == hash && slot.check == check)
                return slot.event;
        }
    }

    /// False when the table is full; the event then counts without an id.
    bool insert(std::uint64_t hash, std::string_view id, std::size_t eventIndex)
    {
        if (eventIndex >= kEmpty)
            return false;
        if ((m_size + 1) * 4 > m_slots.size() * 3)
            grow();
        place({hash, checkHash(id), std::uint32_t(eventIndex)});
        ++m_size;
        return true;
    }

private:
    static constexpr std::uint32_t kEmpty = 0xffffffffu;
    struct Slot
    {
        std::uint64_t hash = 0;
        std::uint32_t check = 0;
        std::uint32_t event = kEmpty;
    };

    void place(const Slot& slot)
    {
        std::size_t i = slot.hash & m_mask;
        while (m_slots[i].event != kEmpty)
            i = (i + 1) & m_mask;
        m_slots[i] = slot;
    }
    void grow()
    {
        std::vector<Slot> old;
        old.swap(m_slots);
        m_slots.assign(old.empty() ? 4096 : old.size() * 2, Slot{});
        m_mask = m_slots.size() - 1;
        for (const Slot& slot : old) {
            if (slot.event != kEmpty)
                place(slot);
        }
    }

    std::vector<Slot> m_slots;
    std::size_t m_mask = 0;
    std::size_t m_size = 0;
};

void merge(const ReadResult& r, std::uint32_t session, IdOwners& owners, ReportEvents& out)
{
    // A file read whole from its start: its first token_count never repeats an earlier one,
    // and what its events inherit is already the file's own announcement or the default.
    for (const ReadEvent& e : r.events) {
        if (e.hasId) {
            const std::string_view id = r.id(e);
            if (const std::int64_t held = owners.find(e.idHash, id); held >= 0) {
                // One event per id; the row with the most output wins, the later one on a tie.
                LocalUsageEvent& event = out.events[std::size_t(held)].event;
                if (e.event.outputTokens >= event.outputTokens)
                    event = e.event;
                continue;
            }
            if (owners.insert(e.idHash, id, out.events.size())) {
                out.events.push_back({e.event, session});
                continue;
            }
        }
        out.events.push_back({e.event, session});
    }
}

QString sessionId(const std::string& path)
{
    std::string_view name(path);
    name = name.substr(name.rfind('/') + 1);
    name.remove_suffix(std::min<std::size_t>(name.size(), 6)); // ".jsonl"
    return QFile::decodeName(QByteArray(name.data(), qsizetype(name.size())));
}

} // namespace

ReportEvents scanForReport(const std::vector<LocalUsageSource>& sources, std::optional<EpochMs> modifiedSince,
                           int threads)
{
    ReportEvents out;
    // List every tree; one reached twice (a link, or two variables naming it) counts once.
    std::vector<std::string> realRoots;
    std::vector<ListedTranscript> files;
    detail::TranscriptTree tree;
    for (const LocalUsageSource& source : sources) {
        const std::string root = QFile::encodeName(source.root).toStdString();
        char* real = ::realpath(root.c_str(), nullptr);
        if (!real)
            continue;
        std::string canonical(real);
        std::free(real);
        if (std::find(realRoots.begin(), realRoots.end(), canonical) != realRoots.end())
            continue;
        realRoots.push_back(std::move(canonical));
        detail::Listing listing;
        tree.list(root, listing);
        out.files += listing.files.size();
        const TranscriptKind kind =
            source.provider == AIProvider::ChatGPT ? TranscriptKind::Codex : TranscriptKind::Claude;
        for (const ListedFile& file : listing.files) {
            if (modifiedSince && file.mtimeNs < *modifiedSince * 1'000'000)
                continue;
            files.push_back({std::string(listing.path(file)), std::string(listing.parentName(file)), file.size, kind});
        }
    }

    std::int64_t bytes = 0;
    for (const ListedTranscript& file : files)
        bytes += file.size;
    if (threads <= 0)
        threads = bytes < kParallelBytes ? 1 : int(std::max(1u, std::thread::hardware_concurrency()));

    // Files are read in listing order by every thread and merged as soon as they and all
    // files before them are read, then dropped: only a few results wait at once.
    std::vector<ReadResult> results(files.size());
    auto done = std::make_unique<std::atomic<bool>[]>(files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        done[i].store(false, std::memory_order_relaxed);
    std::mutex mergeMutex;
    std::size_t nextMerge = 0;
    IdOwners owners;
    // A reader that finds another thread merging goes back to reading: the merging thread,
    // or the last call after every read, takes its file too.
    const auto mergeReady = [&](bool wait) {
        std::unique_lock lock(mergeMutex, std::defer_lock);
        if (wait)
            lock.lock();
        else if (!lock.try_lock())
            return;
        while (nextMerge < files.size() && done[nextMerge].load(std::memory_order_acquire)) {
            ReadResult& r = results[nextMerge];
            if (!r.failed && !r.events.empty()) {
                out.sessions.push_back(
                    {sessionId(files[nextMerge].path),
                     QFile::decodeName(QByteArray::fromStdString(files[nextMerge].path)),
                     files[nextMerge].kind == TranscriptKind::Codex ? AIProvider::ChatGPT : AIProvider::Claude});
                merge(r, std::uint32_t(out.sessions.size() - 1), owners, out);
            }
            out.bytesRead += r.bytesRead;
            r = ReadResult{};
            ++nextMerge;
        }
    };

    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        TranscriptReader reader;
        for (;;) {
            const std::size_t k = next.fetch_add(1, std::memory_order_relaxed);
            if (k >= files.size())
                return;
            const ListedTranscript& file = files[k];
            const int fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                results[k].failed = true;
            } else {
                ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
                results[k] =
                    reader.read(fd, file.kind, ReadRange{0, file.size, false}, InternedString(file.parentName));
                ::close(fd);
            }
            done[k].store(true, std::memory_order_release);
            mergeReady(false);
        }
    };
    std::vector<std::thread> helpers;
    for (int i = 1; i < threads && std::size_t(i) < files.size(); ++i) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            break; // fewer threads, same result
        }
    }
    work();
    for (std::thread& helper : helpers)
        helper.join();
    mergeReady(true);
    return out;
}

} // namespace tallyvue
