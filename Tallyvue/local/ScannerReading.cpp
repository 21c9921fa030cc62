// SPDX-License-Identifier: MIT
// Reading the bytes a scan found new: cut into pieces, read by every core, merged in listing order.
#include "local/ScannerState.h"

#include "model/Log.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tallyvue {

using detail::FileState;
using detail::Piece;
using detail::ReadEvent;
using detail::ReadRange;
using detail::ReadResult;
using detail::TranscriptReader;
using detail::Visit;

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
                // Moved out and dropped: assigning an empty result would keep a string's buffer.
                for (std::size_t p = visit.firstPiece; p < visit.firstPiece + visit.pieceCount; ++p) {
                    ReadResult dropped = std::move(pieces[p].result);
                }
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
        if (r.context.lastLimits &&
            (!s.context.lastLimits || s.context.lastLimits->timestamp <= r.context.lastLimits->timestamp))
            s.context.lastLimits = r.context.lastLimits;
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

} // namespace tallyvue
