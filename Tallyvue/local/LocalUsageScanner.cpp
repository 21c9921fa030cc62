// SPDX-License-Identifier: MIT
#include "local/LocalUsageScanner.h"

#include "local/ScannerState.h"
#include "model/Log.h"

#include <QDir>
#include <QFile>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

using namespace Qt::StringLiterals;

namespace tallyvue {

using detail::ListedFile;
using detail::Listing;
using detail::ReadRange;
using detail::TranscriptKind;

using detail::byTime;
using detail::FileState;
using detail::kDropped;
using detail::OrderEntry;
using detail::Piece;
using detail::roomFor;
using detail::Visit;

namespace {

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
    // Two sessions written at once: the newest line across the files wins.
    std::optional<CodexRateLimits> newestLimits;
    for (const detail::FileState& file : st.files) {
        const auto& limits = file.context.lastLimits;
        if (file.live && limits && (!newestLimits || newestLimits->timestamp < limits->timestamp))
            newestLimits = limits;
    }
    {
        std::lock_guard summaryLock(m_summaryMutex);
        m_summary = {st.liveFiles(), events.size(), st.order.size(), bytesRead, std::int64_t(elapsed), newestLimits};
    }
    log(u"Local usage: %1 requests in the last 8 days from %2 transcripts, scanned in %3 ms"_s.arg(events.size())
            .arg(st.liveFiles())
            .arg(elapsed));
    return events;
}

} // namespace tallyvue
