// SPDX-License-Identifier: MIT
#include "local/LocalUsageScanner.h"

#include "local/EventIdTable.h"
#include "local/TranscriptReader.h"
#include "local/TranscriptTree.h"
#include "model/Log.h"

#include <QDir>
#include <QFile>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tallyvue {

using detail::CodexContext;
using detail::EventIdTable;
using detail::ListedFile;
using detail::Listing;
using detail::ReadEvent;
using detail::ReadRange;
using detail::ReadResult;
using detail::TranscriptKind;
using detail::TranscriptReader;

namespace {

constexpr std::uint32_t kNoId = 0xffffffffu;

struct IdRef
{
    std::uint32_t offset = 0;
    std::uint32_t length = kNoId;
};

struct FileState
{
    std::string path;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t offset = 0;
    bool skipping = false;
    bool loggedLongLine = false;
    bool live = false;
    TranscriptKind kind = TranscriptKind::Claude;
    InternedString fallbackProject;
    CodexContext context;
    std::vector<LocalUsageEvent> events;
    std::vector<IdRef> ids; // parallel to events
    std::string idBytes;
    /// Hashes of ids this file holds but another file owned when they were read: the file
    /// is read again when such an id is released, so that it can claim the id.
    std::vector<std::uint64_t> heldElsewhere;
    /// Events [0, indexed) have an entry in the scanner's time order.
    std::size_t indexed = 0;

    std::string_view id(std::uint32_t index) const
    {
        const IdRef ref = ids[index];
        return std::string_view(idBytes).substr(ref.offset, ref.length);
    }
};

/// Where events sit in time order: rebuilt only where a scan changed something.
struct OrderEntry
{
    EpochMs timestamp = 0;
    std::uint32_t slot = 0;
    std::uint32_t index = 0;
};

constexpr std::uint32_t kDropped = 0xffffffffu;

/**
 * Capacity for a list that is built again on every scan and grows a little each time. Rounded
 * up, the size asked for stays the same from scan to scan, so the allocator hands back the
 * memory of the last list instead of mapping fresh pages: faulting in 10 MB of new pages
 * costs more than the whole rest of a scan. Pages past the end are never touched.
 */
std::size_t roomFor(std::size_t count)
{
    constexpr std::size_t kStep = 1u << 16;
    return (count / kStep + 1) * kStep;
}

bool byTime(const OrderEntry& a, const OrderEntry& b)
{
    return a.timestamp < b.timestamp;
}

/// A byte range of one transcript, read by any thread; what a reader needs is copied in.
struct Piece
{
    std::size_t visit = 0;
    ReadRange range;
    std::string path;
    TranscriptKind kind = TranscriptKind::Claude;
    InternedString fallbackProject;
    ReadResult result;
};

/// One listed file in this scan, in listing order.
struct Visit
{
    std::uint32_t slot = 0;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool reset = false;
    bool read = false;
    std::size_t firstPiece = 0;
    std::size_t pieceCount = 0;
};

QString homeFolder()
{
    return QDir::homePath();
}

QString envFolder(const char* name)
{
    const QByteArray value = qgetenv(name);
    return value.isEmpty() ? QString() : QFile::decodeName(value);
}

} // namespace

struct LocalUsageScanner::State
{
    struct Root
    {
        std::string path;
        TranscriptKind kind;
    };

    std::vector<Root> roots;
    std::vector<FileState> files; // slots; dead ones are reused
    std::vector<std::uint32_t> freeSlots;
    std::unordered_multimap<std::uint64_t, std::uint32_t> slotByPath; // by hash of the path
    std::size_t liveCount = 0;
    detail::TranscriptTree tree;
    Listing listing;
    EventIdTable owners;
    std::vector<OrderEntry> order;
    // Below parallelBytes new bytes one thread reads everything (starting others costs more);
    // regions above pieceBytes are cut at line feeds so one huge transcript keeps every core busy.
    Tuning tuning;
    // The scan thread's reader is kept: an incremental scan then maps no fresh memory.
    std::unique_ptr<TranscriptReader> reader;

    // Per scan.
    std::vector<char> changedSlot; // reset or removed: its old order entries are void
    std::vector<OrderEntry> staleOrder;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> upgraded;
    std::unordered_set<std::uint64_t> upgradedKeys;
    std::vector<std::uint32_t> touched;

    std::uint32_t allocateSlot(std::string_view path, std::uint64_t pathHash, const ListedFile& listed,
                               TranscriptKind kind);
    std::optional<std::uint32_t> findSlot(std::string_view path, std::uint64_t pathHash) const;
    void forget(std::uint32_t slot);
    void release(std::uint32_t slot);
    void merge(std::uint32_t slot, const std::vector<Piece>& pieces, const Visit& visit);
    void keep(std::uint32_t slot, const ReadEvent& e, const ReadResult& from);
    void markTouched(std::uint32_t slot);
    void updateOrder();
    void reset(std::uint32_t slot, const Visit& visit);
    void releaseBeforeReading(const std::vector<char>& seen, std::vector<Visit>& visits, std::vector<ReadRange>& ranges,
                              std::int64_t& newBytes);
    void collectIds(std::uint32_t slot, std::unordered_set<std::uint64_t>& into) const;
    void planPieces(std::vector<Visit>& visits, const std::vector<ReadRange>& ranges, bool split,
                    std::vector<Piece>& pieces) const;
    void readAndMerge(std::vector<Visit>& visits, std::vector<Piece>& pieces, int threads);

    std::size_t liveFiles() const { return liveCount; }
};

std::optional<std::uint32_t> LocalUsageScanner::State::findSlot(std::string_view path, std::uint64_t pathHash) const
{
    const auto [first, last] = slotByPath.equal_range(pathHash);
    for (auto it = first; it != last; ++it) {
        if (files[it->second].path == path)
            return it->second;
    }
    return std::nullopt;
}

std::uint32_t LocalUsageScanner::State::allocateSlot(std::string_view path, std::uint64_t pathHash,
                                                     const ListedFile& listed, TranscriptKind kind)
{
    std::uint32_t slot = 0;
    if (!freeSlots.empty()) {
        slot = freeSlots.back();
        freeSlots.pop_back();
        files[slot] = FileState{};
    } else {
        slot = std::uint32_t(files.size());
        files.emplace_back();
        changedSlot.push_back(0);
    }
    FileState& state = files[slot];
    state.path.assign(path);
    state.live = true;
    state.kind = kind;
    state.device = listed.device;
    state.inode = listed.inode;
    state.fallbackProject = InternedString(path.substr(listed.parentNameOffset, listed.parentNameLength));
    slotByPath.emplace(pathHash, slot);
    ++liveCount;
    return slot;
}

void LocalUsageScanner::State::forget(std::uint32_t slot)
{
    FileState& state = files[slot];
    for (std::uint32_t i = 0; i < state.events.size(); ++i) {
        if (state.ids[i].length == kNoId)
            continue;
        const std::string_view id = state.id(i);
        owners.erase(std::hash<std::string_view>{}(id), slot, i);
    }
    changedSlot[slot] = 1;
}

void LocalUsageScanner::State::release(std::uint32_t slot)
{
    forget(slot);
    const auto [first, last] = slotByPath.equal_range(std::hash<std::string_view>{}(files[slot].path));
    for (auto it = first; it != last; ++it) {
        if (it->second == slot) {
            slotByPath.erase(it);
            break;
        }
    }
    --liveCount;
    files[slot] = FileState{};
    freeSlots.push_back(slot);
}

void LocalUsageScanner::State::reset(std::uint32_t slot, const Visit& visit)
{
    forget(slot);
    FileState& old = files[slot];
    FileState fresh;
    fresh.path = std::move(old.path);
    fresh.live = true;
    fresh.kind = old.kind;
    fresh.fallbackProject = old.fallbackProject;
    fresh.device = visit.device;
    fresh.inode = visit.inode;
    old = std::move(fresh);
}

void LocalUsageScanner::State::collectIds(std::uint32_t slot, std::unordered_set<std::uint64_t>& into) const
{
    const FileState& state = files[slot];
    for (std::uint32_t i = 0; i < state.events.size(); ++i) {
        if (state.ids[i].length != kNoId)
            into.insert(std::hash<std::string_view>{}(state.id(i)));
    }
}

/**
 * Files that disappeared, and files read again from their start, give up their ids before
 * anything is read: a renamed or moved transcript then claims its own ids in this scan. A
 * file that holds a released id it could not own before (a copy of a deleted transcript)
 * is read again, so usage is never lost while some file holds it.
 */
void LocalUsageScanner::State::releaseBeforeReading(const std::vector<char>& seen, std::vector<Visit>& visits,
                                                    std::vector<ReadRange>& ranges, std::int64_t& newBytes)
{
    std::unordered_set<std::uint64_t> released;
    for (std::uint32_t slot = 0; slot < files.size(); ++slot) {
        if (files[slot].live && !(slot < seen.size() && seen[slot])) {
            collectIds(slot, released);
            release(slot);
        }
    }
    for (const Visit& visit : visits) {
        if (visit.reset) {
            collectIds(visit.slot, released);
            reset(visit.slot, visit);
        }
    }
    if (released.empty())
        return;
    for (std::size_t v = 0; v < visits.size(); ++v) {
        Visit& visit = visits[v];
        const std::vector<std::uint64_t>& held = files[visit.slot].heldElsewhere;
        if (visit.reset ||
            std::none_of(held.begin(), held.end(), [&](std::uint64_t id) { return released.contains(id); }))
            continue;
        ReadRange& range = ranges[v];
        newBytes += range.begin;
        range = ReadRange{0, range.end, false};
        visit.reset = true;
        visit.read = range.end > 0;
        reset(visit.slot, visit);
    }
}

void LocalUsageScanner::State::markTouched(std::uint32_t slot)
{
    if (touched.empty() || touched.back() != slot)
        touched.push_back(slot);
}

void LocalUsageScanner::State::keep(std::uint32_t slot, const ReadEvent& e, const ReadResult& from)
{
    FileState& state = files[slot];
    if (!e.hasId) {
        state.events.push_back(e.event);
        state.ids.push_back(IdRef{});
        return;
    }
    const std::string_view id = from.id(e);
    const auto bytesOf = [this](std::uint32_t s, std::uint32_t i) { return files[s].id(i); };
    if (EventIdTable::Entry* owner = owners.find(e.idHash, id, bytesOf)) {
        if (owner->slot != slot)
            state.heldElsewhere.push_back(e.idHash);
        // One event per id; the row with the most output wins, the later one on a tie.
        LocalUsageEvent& held = files[owner->slot].events[owner->index];
        if (e.event.outputTokens < held.outputTokens)
            return;
        const FileState& ownerState = files[owner->slot];
        if (owner->index < ownerState.indexed && !changedSlot[owner->slot] &&
            upgradedKeys.insert((std::uint64_t(owner->slot) << 32) | owner->index).second) {
            staleOrder.push_back({held.timestamp, owner->slot, owner->index});
            upgraded.emplace_back(owner->slot, owner->index);
        }
        held = e.event;
        return;
    }
    const auto index = std::uint32_t(state.events.size());
    if (state.idBytes.size() + id.size() >= std::numeric_limits<std::uint32_t>::max()) {
        state.events.push_back(e.event);
        state.ids.push_back(IdRef{});
        return;
    }
    state.ids.push_back(IdRef{std::uint32_t(state.idBytes.size()), std::uint32_t(id.size())});
    state.idBytes.append(id);
    state.events.push_back(e.event);
    owners.insert(e.idHash, slot, index);
}

void LocalUsageScanner::State::merge(std::uint32_t slot, const std::vector<Piece>& pieces, const Visit& visit)
{
    for (std::size_t p = visit.firstPiece; p < visit.firstPiece + visit.pieceCount; ++p) {
        if (pieces[p].result.failed)
            return; // an unreadable file keeps its state as it was
    }
    FileState& state = files[slot];
    std::size_t added = 0;
    for (std::size_t p = visit.firstPiece; p < visit.firstPiece + visit.pieceCount; ++p)
        added += pieces[p].result.events.size();
    if (state.events.capacity() < state.events.size() + added) {
        // Exact on the first read, a little room for the appends that follow.
        const std::size_t want = state.events.size() + added + (state.events.empty() ? 0 : state.events.size() / 8);
        state.events.reserve(want);
        state.ids.reserve(want);
    }
    static const InternedString codex("Codex");
    static const InternedString unknown("unknown");
    bool longLine = false;
    for (std::size_t p = visit.firstPiece; p < visit.firstPiece + visit.pieceCount; ++p) {
        const ReadResult& r = pieces[p].result;
        const std::size_t repeat =
            files[slot].context.lastTotal == r.openingTotal ? r.openingEvent : ReadResult::kNoEvent;
        for (std::size_t i = 0; i < r.events.size(); ++i) {
            if (i == repeat)
                continue;
            ReadEvent e = r.events[i];
            if (e.inheritsProject)
                e.event.project = files[slot].context.project.value_or(codex);
            if (e.inheritsModel)
                e.event.model = files[slot].context.model.value_or(unknown);
            keep(slot, e, r);
        }
        FileState& s = files[slot];
        if (r.context.project)
            s.context.project = r.context.project;
        if (r.context.model)
            s.context.model = r.context.model;
        if (r.context.lastTotal)
            s.context.lastTotal = r.context.lastTotal;
        s.offset = r.consumed;
        s.skipping = r.skipping;
        longLine = longLine || r.skippedLongLine;
    }
    FileState& s = files[slot];
    if (longLine && !s.loggedLongLine) {
        s.loggedLongLine = true;
        log(u"Local usage: skipped a line longer than %1 MiB in %2"_s.arg(qulonglong(tuning.maxLineBytes >> 20))
                .arg(QFile::decodeName(QByteArray::fromStdString(s.path))));
    }
    markTouched(slot);
}

void LocalUsageScanner::State::updateOrder()
{
    std::vector<OrderEntry> added;
    for (const std::uint32_t slot : touched) {
        FileState& state = files[slot];
        if (!state.live)
            continue;
        for (std::size_t i = state.indexed; i < state.events.size(); ++i)
            added.push_back({state.events[i].timestamp, slot, std::uint32_t(i)});
    }
    for (const auto& [slot, index] : upgraded) {
        const FileState& state = files[slot];
        if (state.live && !changedSlot[slot])
            added.push_back({state.events[index].timestamp, slot, index});
    }
    bool anyChanged = false;
    for (const char c : changedSlot)
        anyChanged = anyChanged || c;
    if (added.empty() && staleOrder.empty() && !anyChanged)
        return;

    for (const OrderEntry& stale : staleOrder) {
        auto [first, last] = std::equal_range(order.begin(), order.end(), stale, byTime);
        for (auto it = first; it != last; ++it) {
            if (it->slot == stale.slot && it->index == stale.index) {
                it->slot = kDropped;
                break;
            }
        }
    }
    std::sort(added.begin(), added.end(), byTime);
    const auto markIndexed = [this] {
        for (const std::uint32_t slot : touched) {
            if (files[slot].live)
                files[slot].indexed = files[slot].events.size();
        }
    };
    if (staleOrder.empty() && !anyChanged && (order.empty() || added.front().timestamp >= order.back().timestamp)) {
        // The usual append: every new event is the newest.
        if (order.capacity() < order.size() + added.size())
            order.reserve(roomFor(order.size() + added.size()));
        order.insert(order.end(), added.begin(), added.end());
        markIndexed();
        return;
    }
    std::vector<OrderEntry> merged;
    merged.reserve(roomFor(order.size() + added.size()));
    auto next = added.begin();
    for (const OrderEntry& e : order) {
        if (e.slot == kDropped || changedSlot[e.slot])
            continue;
        while (next != added.end() && next->timestamp < e.timestamp)
            merged.push_back(*next++);
        merged.push_back(e);
    }
    merged.insert(merged.end(), next, added.end());
    order.swap(merged);
    markIndexed();
}

LocalUsageScanner& LocalUsageScanner::shared()
{
    static LocalUsageScanner scanner;
    return scanner;
}

std::vector<LocalUsageSource> LocalUsageScanner::defaultSources()
{
    const QString home = homeFolder();
    std::vector<LocalUsageSource> sources;
    if (const QString config = envFolder("CLAUDE_CONFIG_DIR"); !config.isEmpty()) {
        sources.push_back({AIProvider::Claude, config + u"/projects"_s});
    } else {
        sources.push_back({AIProvider::Claude, home + u"/.config/claude/projects"_s});
        sources.push_back({AIProvider::Claude, home + u"/.claude/projects"_s});
    }
    const QString codexHome = envFolder("CODEX_HOME");
    sources.push_back({AIProvider::ChatGPT, (codexHome.isEmpty() ? home + u"/.codex"_s : codexHome) + u"/sessions"_s});
    return sources;
}

LocalUsageScanner::LocalUsageScanner(std::vector<LocalUsageSource> sources)
    : m_state(std::make_unique<State>()), m_pool(std::make_unique<QThreadPool>())
{
    m_pool->setMaxThreadCount(1);
    for (const LocalUsageSource& source : sources) {
        m_state->roots.push_back({QFile::encodeName(source.root).toStdString(), source.provider == AIProvider::ChatGPT
                                                                                    ? TranscriptKind::Codex
                                                                                    : TranscriptKind::Claude});
    }
}

LocalUsageScanner::~LocalUsageScanner()
{
    m_pool->waitForDone();
}

void LocalUsageScanner::setTuning(const Tuning& tuning)
{
    std::lock_guard lock(m_scanMutex);
    m_state->tuning = tuning;
    m_state->reader.reset();
}

LocalUsageScanSummary LocalUsageScanner::lastSummary() const
{
    std::lock_guard lock(m_summaryMutex);
    return m_summary;
}

QCoro::Task<std::vector<LocalUsageEvent>> LocalUsageScanner::scan(QDateTime now)
{
    const EpochMs nowMs = now.toMSecsSinceEpoch();
    // The result is shared with the job: it outlives this frame if the caller gives up.
    auto result = std::make_shared<std::vector<LocalUsageEvent>>();
    QFuture<void> done = QtConcurrent::run(m_pool.get(), [this, nowMs, result] { *result = scanBlocking(nowMs); });
    co_await done;
    std::vector<LocalUsageEvent> events = std::move(*result);
    co_return events;
}

namespace {

/// Position just after the first line feed in [from, end), or -1.
std::int64_t nextLineStart(int fd, std::int64_t from, std::int64_t end)
{
    char window[64 << 10];
    while (from < end) {
        const auto want = std::size_t(std::min<std::int64_t>(sizeof window, end - from));
        const ssize_t n = ::pread(fd, window, want, off_t(from));
        if (n <= 0)
            return -1;
        if (const void* lf = std::memchr(window, '\n', std::size_t(n)))
            return from + (static_cast<const char*>(lf) - window) + 1;
        from += n;
    }
    return -1;
}

} // namespace

void LocalUsageScanner::State::planPieces(std::vector<Visit>& visits, const std::vector<ReadRange>& ranges, bool split,
                                          std::vector<Piece>& pieces) const
{
    const auto piece = [&](std::size_t v, ReadRange range) {
        const FileState& file = files[visits[v].slot];
        return Piece{v, range, file.path, file.kind, file.fallbackProject, {}};
    };
    for (std::size_t v = 0; v < visits.size(); ++v) {
        Visit& visit = visits[v];
        if (!visit.read)
            continue;
        visit.firstPiece = pieces.size();
        const ReadRange& range = ranges[v];
        std::int64_t begin = range.begin;
        bool skipping = range.skipping;
        const std::int64_t pieceBytes = std::max<std::int64_t>(tuning.pieceBytes, 1);
        if (split && !skipping && range.end - range.begin > 2 * pieceBytes) {
            // Cut at line feeds, so that every piece starts at a line start.
            const int fd = ::open(files[visit.slot].path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd >= 0) {
                while (range.end - begin > 2 * pieceBytes) {
                    const std::int64_t cut = nextLineStart(fd, begin + pieceBytes - 1, range.end);
                    if (cut < 0 || cut >= range.end)
                        break;
                    pieces.push_back(piece(v, ReadRange{begin, cut, false}));
                    begin = cut;
                }
                ::close(fd);
            }
        }
        pieces.push_back(piece(v, ReadRange{begin, range.end, skipping}));
        visit.pieceCount = pieces.size() - visit.firstPiece;
    }
}

void LocalUsageScanner::State::readAndMerge(std::vector<Visit>& visits, std::vector<Piece>& pieces, int threads)
{
    // Pieces are read in listing order by every thread; each file's results are merged as
    // soon as it and all files before it are read, then dropped. Ownership so follows the
    // listing order whichever thread read what, and only a few files' results wait at once.
    auto remaining = std::make_unique<std::atomic<std::size_t>[]>(visits.size());
    for (std::size_t v = 0; v < visits.size(); ++v)
        remaining[v].store(visits[v].read ? visits[v].pieceCount : 0, std::memory_order_relaxed);
    std::mutex mergeMutex;
    std::size_t nextVisit = 0;
    const auto mergeReady = [&] {
        std::lock_guard lock(mergeMutex);
        while (nextVisit < visits.size() && remaining[nextVisit].load(std::memory_order_acquire) == 0) {
            const Visit& visit = visits[nextVisit];
            if (visit.read) {
                merge(visit.slot, pieces, visit);
                for (std::size_t p = visit.firstPiece; p < visit.firstPiece + visit.pieceCount; ++p)
                    pieces[p].result = ReadResult{};
            }
            ++nextVisit;
        }
    };

    std::atomic<std::size_t> next{0};
    if (!reader)
        reader = std::make_unique<TranscriptReader>(tuning.chunkBytes, tuning.maxLineBytes);
    const auto work = [&](TranscriptReader& threadReader) {
        for (;;) {
            const std::size_t k = next.fetch_add(1, std::memory_order_relaxed);
            if (k >= pieces.size())
                return;
            Piece& piece = pieces[k];
            const int fd = ::open(piece.path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                piece.result.failed = true;
            } else {
                ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
                piece.result = threadReader.read(fd, piece.kind, piece.range, piece.fallbackProject);
                ::close(fd);
            }
            if (remaining[piece.visit].fetch_sub(1, std::memory_order_acq_rel) == 1)
                mergeReady();
        }
    };
    std::vector<std::thread> helpers;
    for (int i = 1; i < threads && std::size_t(i) < pieces.size(); ++i) {
        try {
            helpers.emplace_back([&work, this] {
                TranscriptReader own(tuning.chunkBytes, tuning.maxLineBytes);
                work(own);
            });
        } catch (const std::system_error&) {
            break; // fewer threads, same result
        }
    }
    work(*reader);
    for (std::thread& helper : helpers)
        helper.join();
    reader->trim();
    mergeReady(); // files that needed no reading, after the last read one
}

std::vector<LocalUsageEvent> LocalUsageScanner::scanBlocking(EpochMs now)
{
    std::lock_guard lock(m_scanMutex);
    const auto started = std::chrono::steady_clock::now();
    State& st = *m_state;
    const EpochMs cutoff = now - kWindowMs;

    std::fill(st.changedSlot.begin(), st.changedSlot.end(), 0);
    st.staleOrder.clear();
    st.upgraded.clear();
    st.upgradedKeys.clear();
    st.touched.clear();

    // List every tree; one reached twice (a link, or two variables naming it) counts once.
    std::vector<std::string> realRoots;
    std::vector<std::pair<std::size_t, TranscriptKind>> rootEnds;
    st.listing.clear();
    for (const State::Root& root : st.roots) {
        char* real = ::realpath(root.path.c_str(), nullptr);
        if (!real)
            continue;
        std::string canonical(real);
        std::free(real);
        if (std::find(realRoots.begin(), realRoots.end(), canonical) != realRoots.end())
            continue;
        realRoots.push_back(std::move(canonical));
        st.tree.list(root.path, st.listing);
        rootEnds.emplace_back(st.listing.files.size(), root.kind);
    }
    st.tree.endScan();

    const std::int64_t cutoffNs = cutoff * 1'000'000;
    std::vector<char> seen(st.files.size(), 0);
    std::vector<Visit> visits;
    std::vector<ReadRange> ranges;
    std::int64_t newBytes = 0;
    std::size_t rootIndex = 0;
    for (std::size_t i = 0; i < st.listing.files.size(); ++i) {
        while (i >= rootEnds[rootIndex].first)
            ++rootIndex;
        const ListedFile& file = st.listing.files[i];
        const std::string_view path = st.listing.path(file);
        const std::uint64_t pathHash = std::hash<std::string_view>{}(path);
        std::uint32_t slot = 0;
        if (const auto found = st.findSlot(path, pathHash)) {
            slot = *found;
        } else {
            if (file.mtimeNs < cutoffNs)
                continue; // old transcripts are never opened for the first time
            slot = st.allocateSlot(path, pathHash, file, rootEnds[rootIndex].second);
            seen.resize(st.files.size(), 0);
        }
        if (seen[slot])
            continue;
        seen[slot] = 1;
        const FileState& state = st.files[slot];
        Visit visit;
        visit.slot = slot;
        visit.device = file.device;
        visit.inode = file.inode;
        // Shorter than what was read, or another file under the same name: start over.
        visit.reset = file.size < state.offset || file.device != state.device || file.inode != state.inode;
        const ReadRange range{visit.reset ? 0 : state.offset, file.size, visit.reset ? false : state.skipping};
        visit.read = range.begin < range.end;
        if (visit.read)
            newBytes += range.end - range.begin;
        visits.push_back(visit);
        ranges.push_back(range);
    }

    st.releaseBeforeReading(seen, visits, ranges, newBytes);

    int threads = st.tuning.threads > 0 ? st.tuning.threads : int(std::max(1u, std::thread::hardware_concurrency()));
    if (newBytes < st.tuning.parallelBytes)
        threads = 1;
    std::vector<Piece> pieces;
    st.planPieces(visits, ranges, threads > 1, pieces);
    std::uint64_t bytesRead = 0;
    for (const Piece& piece : pieces)
        bytesRead += std::uint64_t(piece.range.end - piece.range.begin);
    st.readAndMerge(visits, pieces, threads);
    st.updateOrder();

    const auto first = std::lower_bound(st.order.begin(), st.order.end(), OrderEntry{cutoff, 0, 0}, byTime);
    std::vector<LocalUsageEvent> events;
    const auto count = std::size_t(st.order.end() - first);
    events.reserve(roomFor(count));
    // Time order jumps between files: fetch a few events ahead so the copy does not wait.
    constexpr std::size_t kAhead = 48;
    const OrderEntry* entries = st.order.data() + (first - st.order.begin());
    for (std::size_t i = 0; i < count; ++i) {
        if (i + kAhead < count) {
            const OrderEntry& ahead = entries[i + kAhead];
            __builtin_prefetch(st.files[ahead.slot].events.data() + ahead.index);
        }
        events.push_back(st.files[entries[i].slot].events[entries[i].index]);
    }

    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
    {
        std::lock_guard summaryLock(m_summaryMutex);
        m_summary = {st.liveFiles(), events.size(), st.order.size(), bytesRead, std::int64_t(elapsed)};
    }
    log(u"Local usage: %1 requests in the last 8 days from %2 transcripts, scanned in %3 ms"_s.arg(events.size())
            .arg(st.liveFiles())
            .arg(elapsed));
    return events;
}

} // namespace tallyvue
