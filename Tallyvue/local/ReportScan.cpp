// SPDX-License-Identifier: MIT
// The one-shot scan behind `tallyvue-cli report` and the This Computer page: every file once,
// read by every core, merged in listing order so that de-duplication does not depend on
// which thread finished first.
#include "local/ReportScan.h"

#include "local/TranscriptReader.h"
#include "local/TranscriptTree.h"

#include <QFile>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>

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
// Files read ahead of the merge at most.
constexpr std::size_t kMaxAhead = 16;

struct ListedTranscript
{
    std::string path;
    std::string parentName;
    std::int64_t size = 0;
    TranscriptKind kind = TranscriptKind::Claude;
};

/// Asks for the cache line at `p` ahead of its use: the id tables are megabytes, read at
/// random, and a file's ids are looked up one after another.
template<class T>
void prefetch(const T& p)
{
#if defined(__x86_64__)
    // Written out: GCC 12 drops __builtin_prefetch of some table addresses as if it did nothing.
    asm volatile("prefetcht0 %0" : : "m"(p));
#else
    __builtin_prefetch(&p);
#endif
}

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

    void prefetch(std::uint64_t hash) const
    {
        if (!m_slots.empty())
            tallyvue::prefetch(m_slots[hash & m_mask]);
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
    for (std::size_t i = 0; i < r.events.size(); ++i) {
        if (i + 8 < r.events.size() && r.events[i + 8].hasId)
            owners.prefetch(r.events[i + 8].idHash);
        const ReadEvent& e = r.events[i];
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

/// Every transcript under the roots, in listing order; a tree reached twice (a link, or two
/// variables naming it) counts once. `found` counts them all, `modifiedSince` or not.
std::vector<ListedTranscript> listTranscripts(const std::vector<LocalUsageSource>& sources,
                                              std::optional<EpochMs> modifiedSince, std::size_t& found)
{
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
        found += listing.files.size();
        const TranscriptKind kind =
            source.provider == AIProvider::ChatGPT ? TranscriptKind::Codex : TranscriptKind::Claude;
        for (const ListedFile& file : listing.files) {
            if (modifiedSince && file.mtimeNs < *modifiedSince * 1'000'000)
                continue;
            files.push_back({std::string(listing.path(file)), std::string(listing.parentName(file)), file.size, kind});
        }
    }
    return files;
}

/// Reads the first `limit` bytes of a transcript (fewer if it shrank). Through a small buffer
/// rather than mapped: both cost the same time here, and mapped pages count towards the
/// process's memory as long as they are mapped.
ReadResult readTranscript(TranscriptReader& reader, const ListedTranscript& file, std::int64_t limit)
{
    const int fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        ReadResult failed;
        failed.failed = true;
        return failed;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    ReadResult out = reader.read(fd, file.kind, ReadRange{0, limit, false}, InternedString(file.parentName));
    ::close(fd);
    return out;
}

/**
 * Reads the files on `threads` threads and hands each result to `merge` in listing order, as
 * soon as it and all files before it are read, then drops it: only a few results wait at
 * once, and de-duplication does not depend on which thread finished first.
 */
void readInOrder(const std::vector<ListedTranscript>& files, int threads,
                 const std::function<void(std::size_t, ReadResult&)>& merge)
{
    std::int64_t bytes = 0;
    for (const ListedTranscript& file : files)
        bytes += file.size;
    if (threads <= 0)
        threads = bytes < kParallelBytes ? 1 : int(std::max(1u, std::thread::hardware_concurrency()));

    std::vector<ReadResult> results(files.size());
    auto done = std::make_unique<std::atomic<bool>[]>(files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        done[i].store(false, std::memory_order_relaxed);
    std::mutex mergeMutex;
    std::condition_variable progress;
    std::size_t nextMerge = 0;
    // A reader that finds another thread merging goes back to reading: the merging thread,
    // or the last call after every read, takes its file too.
    const auto mergeReady = [&](bool wait) {
        std::unique_lock lock(mergeMutex, std::defer_lock);
        if (wait)
            lock.lock();
        else if (!lock.try_lock())
            return;
        while (nextMerge < files.size() && done[nextMerge].load(std::memory_order_acquire)) {
            merge(nextMerge, results[nextMerge]);
            // Moved out and dropped: assigning an empty result would keep the id bytes' buffer.
            ReadResult dropped = std::move(results[nextMerge]);
            ++nextMerge;
        }
        progress.notify_all();
    };

    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        TranscriptReader reader;
        for (;;) {
            const std::size_t k = next.fetch_add(1, std::memory_order_relaxed);
            if (k >= files.size())
                return;
            // Far ahead of a file still being read, wait rather than pile up results behind it.
            // Waiting threads merge too, and look again now and then: nobody waits for a merge
            // that nobody does.
            for (std::unique_lock lock(mergeMutex); k >= nextMerge + kMaxAhead;) {
                lock.unlock();
                mergeReady(true);
                lock.lock();
                if (k >= nextMerge + kMaxAhead)
                    progress.wait_for(lock, std::chrono::milliseconds(1));
            }
            results[k] = readTranscript(reader, files[k], files[k].size);
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
}

/// Which file holds the counted row of each request id, 8 bytes an id: 40 bits of the id's
/// hash, which also place it, and the file's index. Two ids may share those bits: the caller
/// tells them apart by reading the file, so every slot whose bits match is offered in turn.
/// Sixteen tables, at most four fifths full, that grow one at a time: a growth holds only a
/// sixteenth twice.
class RequestOwners
{
public:
    static constexpr std::size_t kMaxFile = (1u << 24) - 2;

    /// The first slot of the id whose file `isOwner` accepts, or nullptr.
    template<class IsOwner>
    std::uint64_t* find(std::uint64_t hash, const IsOwner& isOwner)
    {
        const std::uint64_t t = tag(hash);
        Part& part = m_parts[mixed(t) >> 60];
        if (part.slots.empty())
            return nullptr;
        for (std::size_t i = part.home(t);; i = part.after(i)) {
            std::uint64_t& slot = part.slots[i];
            if (slot == 0)
                return nullptr;
            if ((slot >> 24) == t && isOwner(fileOf(slot)))
                return &slot;
        }
    }
    void prefetch(std::uint64_t hash) const
    {
        const std::uint64_t t = tag(hash);
        const Part& part = m_parts[mixed(t) >> 60];
        if (!part.slots.empty())
            tallyvue::prefetch(part.slots[part.home(t)]);
    }
    void insert(std::uint64_t hash, std::size_t file)
    {
        const std::uint64_t t = tag(hash);
        Part& part = m_parts[mixed(t) >> 60];
        if ((part.size + 1) * 5 > part.slots.size() * 4)
            part.grow();
        part.place((t << 24) | (file + 1));
        ++part.size;
    }
    static void setFile(std::uint64_t& slot, std::size_t file) { slot = (slot & ~kFileBits) | (file + 1); }
    static std::size_t fileOf(std::uint64_t slot) { return std::size_t(slot & kFileBits) - 1; }

private:
    static constexpr std::uint64_t kFileBits = (1u << 24) - 1;
    static std::uint64_t tag(std::uint64_t hash) { return hash & ((std::uint64_t(1) << 40) - 1); }
    static std::uint64_t mixed(std::uint64_t tag) { return tag * 0x9E3779B97F4A7C15ull; }

    struct Part
    {
        std::vector<std::uint64_t> slots;
        std::size_t size = 0;

        // The bits after the ones that chose the part, scaled to the table: any size works.
        std::size_t home(std::uint64_t t) const
        {
            __extension__ using Wide = unsigned __int128;
            return std::size_t((Wide(mixed(t) << 4) * slots.size()) >> 64);
        }
        std::size_t after(std::size_t i) const { return i + 1 == slots.size() ? 0 : i + 1; }
        void place(std::uint64_t slot)
        {
            std::size_t i = home(slot >> 24);
            while (slots[i] != 0)
                i = after(i);
            slots[i] = slot;
        }
        void grow()
        {
            std::vector<std::uint64_t> old;
            old.swap(slots);
            // By half, not double: the table is most of what a large scan keeps.
            slots.assign(old.empty() ? 1024 : old.size() + old.size() / 2, 0);
            for (const std::uint64_t slot : old) {
                if (slot != 0)
                    place(slot);
            }
        }
    };
    Part m_parts[16];
};

constexpr std::uint32_t kNotCounted = 0xffffffffu;

/// For each row of a read: the row that counts for its request (the one with the most output,
/// the later on a tie) at the request's first row, itself without an id, else kNotCounted.
/// `firsts` is scratch space, kept by the caller so that a scan allocates it once.
void countRows(const ReadResult& r, std::vector<std::uint32_t>& counted, std::vector<std::uint32_t>& firsts)
{
    counted.assign(r.events.size(), kNotCounted);
    // The first row of each id, by the id's hash: an open table twice the rows' size.
    std::size_t size = 16;
    while (size < 2 * r.events.size())
        size *= 2;
    firsts.assign(size, kNotCounted);
    for (std::uint32_t i = 0; i < r.events.size(); ++i) {
        const ReadEvent& e = r.events[i];
        if (!e.hasId) {
            counted[i] = i;
            continue;
        }
        std::size_t slot = e.idHash & (size - 1);
        while (firsts[slot] != kNotCounted &&
               (r.events[firsts[slot]].idHash != e.idHash || r.id(r.events[firsts[slot]]) != r.id(e)))
            slot = (slot + 1) & (size - 1);
        const bool fresh = firsts[slot] == kNotCounted;
        if (fresh)
            firsts[slot] = i;
        std::uint32_t& best = counted[firsts[slot]];
        if (fresh || e.event.outputTokens >= r.events[best].event.outputTokens)
            best = i;
    }
}

/// Merges files read in listing order into a sink, with the rules of merge().
class SinkMerger
{
public:
    SinkMerger(const std::vector<ListedTranscript>& files, ReportSink& sink)
        : m_files(files), m_sink(sink), m_readBytes(files.size(), 0)
    {
    }

    std::size_t requests = 0;

    void merge(std::size_t k, const ReadResult& r)
    {
        m_readBytes[k] = std::int64_t(r.bytesRead);
        if (r.failed)
            return;
        countRows(r, m_counted, m_firsts);
        for (std::size_t i = 0; i < m_counted.size(); ++i) {
            // A few rows ahead, the id's slot is fetched while this row is merged.
            if (const std::uint32_t ahead = i + 8 < m_counted.size() ? m_counted[i + 8] : kNotCounted;
                ahead != kNotCounted && r.events[ahead].hasId)
                m_owners.prefetch(r.events[ahead].idHash);
            const std::uint32_t c = m_counted[i];
            if (c == kNotCounted)
                continue;
            const ReadEvent& row = r.events[c];
            if (!row.hasId || k > RequestOwners::kMaxFile) {
                add(row.event);
                continue;
            }
            const std::string_view id = r.id(row);
            const LocalUsageEvent* earlier = nullptr;
            std::uint64_t* slot = m_owners.find(row.idHash, [&](std::size_t file) {
                const auto found = countedIn(file, id);
                if (found)
                    earlier = *found;
                return found.has_value();
            });
            if (!slot) {
                m_owners.insert(row.idHash, k);
                add(row.event);
            } else if (earlier && row.event.outputTokens >= earlier->outputTokens) {
                // The row with the most output wins, the later one on a tie.
                m_sink.remove(*earlier);
                m_sink.add(row.event);
                RequestOwners::setFile(*slot, k);
            }
        }
    }

private:
    struct Reread
    {
        std::size_t file = std::size_t(-1);
        ReadResult result;
        std::unordered_map<std::string_view, std::uint32_t> rows; // id -> its counted row
    };

    void add(const LocalUsageEvent& event)
    {
        m_sink.add(event);
        ++requests;
    }

    /// The row an earlier file counts for the id: none when the file lacks the id, nullptr
    /// when the file can no longer be read (its row then stays counted as it was).
    std::optional<const LocalUsageEvent*> countedIn(std::size_t file, std::string_view id)
    {
        // Copies of one transcript come in runs: the last two files read again are kept.
        if (m_reread[0]->file != file) {
            std::swap(m_reread[0], m_reread[1]);
            if (m_reread[0]->file != file) {
                Reread& fresh = *m_reread[0];
                fresh.file = file;
                fresh.result = readTranscript(m_reader, m_files[file], m_readBytes[file]);
                fresh.rows.clear();
                std::vector<std::uint32_t> counted;
                countRows(fresh.result, counted, m_firsts);
                for (const std::uint32_t c : counted) {
                    if (c != kNotCounted && fresh.result.events[c].hasId)
                        fresh.rows.emplace(fresh.result.id(fresh.result.events[c]), c);
                }
            }
        }
        const Reread& cached = *m_reread[0];
        if (cached.result.failed)
            return nullptr;
        const auto it = cached.rows.find(id);
        if (it == cached.rows.end())
            return std::nullopt;
        return &cached.result.events[it->second].event;
    }

    const std::vector<ListedTranscript>& m_files;
    ReportSink& m_sink;
    std::vector<std::int64_t> m_readBytes; ///< what the first read saw of each file
    RequestOwners m_owners;
    std::vector<std::uint32_t> m_counted;
    std::vector<std::uint32_t> m_firsts;
    TranscriptReader m_reader;
    std::unique_ptr<Reread> m_reread[2] = {std::make_unique<Reread>(), std::make_unique<Reread>()};
};

} // namespace

ReportEvents scanForReport(const std::vector<LocalUsageSource>& sources, std::optional<EpochMs> modifiedSince,
                           int threads)
{
    ReportEvents out;
    const std::vector<ListedTranscript> files = listTranscripts(sources, modifiedSince, out.files);
    IdOwners owners;
    readInOrder(files, threads, [&](std::size_t k, ReadResult& r) {
        if (!r.failed && !r.events.empty()) {
            out.sessions.push_back({sessionId(files[k].path), QFile::decodeName(QByteArray::fromStdString(files[k].path)),
                                    files[k].kind == TranscriptKind::Codex ? AIProvider::ChatGPT : AIProvider::Claude});
            merge(r, std::uint32_t(out.sessions.size() - 1), owners, out);
        }
        out.bytesRead += r.bytesRead;
    });
    return out;
}

ReportScanSummary scanIntoSink(const std::vector<LocalUsageSource>& sources, std::optional<EpochMs> modifiedSince,
                               ReportSink& sink, int threads)
{
    ReportScanSummary out;
    const std::vector<ListedTranscript> files = listTranscripts(sources, modifiedSince, out.files);
    SinkMerger merger(files, sink);
    readInOrder(files, threads, [&](std::size_t k, ReadResult& r) {
        merger.merge(k, r);
        out.bytesRead += r.bytesRead;
    });
    out.requests = merger.requests;
    return out;
}

} // namespace tallyvue
