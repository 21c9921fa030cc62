// SPDX-License-Identifier: MIT
// The incremental scanner's state, shared by its three parts: the tree walk and time order
// (LocalUsageScanner.cpp), file slots and id ownership (ScannerSlots.cpp), and the reading of
// new bytes (ScannerReading.cpp). Nothing outside the scanner includes it.
#pragma once

#include "local/EventIdTable.h"
#include "local/LocalUsageScanner.h"
#include "local/TranscriptReader.h"
#include "local/TranscriptTree.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tallyvue {

namespace detail {

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
inline std::size_t roomFor(std::size_t count)
{
    constexpr std::size_t kStep = 1u << 16;
    return (count / kStep + 1) * kStep;
}

inline bool byTime(const OrderEntry& a, const OrderEntry& b)
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

} // namespace detail

struct LocalUsageScanner::State
{
    struct Root
    {
        std::string path;
        detail::TranscriptKind kind;
    };

    std::vector<Root> roots;
    std::vector<detail::FileState> files; // slots; dead ones are reused
    std::vector<std::uint32_t> freeSlots;
    std::unordered_multimap<std::uint64_t, std::uint32_t> slotByPath; // by hash of the path
    std::size_t liveCount = 0;
    detail::TranscriptTree tree;
    detail::Listing listing;
    detail::EventIdTable owners;
    std::vector<detail::OrderEntry> order;
    // Below parallelBytes new bytes one thread reads everything (starting others costs more);
    // regions above pieceBytes are cut at line feeds so one huge transcript keeps every core busy.
    Tuning tuning;
    // The scan thread's reader is kept: an incremental scan then maps no fresh memory.
    std::unique_ptr<detail::TranscriptReader> reader;

    // Per scan.
    std::vector<char> changedSlot; // reset or removed: its old order entries are void
    std::vector<detail::OrderEntry> staleOrder;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> upgraded;
    std::unordered_set<std::uint64_t> upgradedKeys;
    std::vector<std::uint32_t> touched;

    std::uint32_t allocateSlot(std::string_view path, std::uint64_t pathHash, const detail::ListedFile& listed,
                               detail::TranscriptKind kind);
    std::optional<std::uint32_t> findSlot(std::string_view path, std::uint64_t pathHash) const;
    void forget(std::uint32_t slot);
    void release(std::uint32_t slot);
    void merge(std::uint32_t slot, const std::vector<detail::Piece>& pieces, const detail::Visit& visit);
    void keep(std::uint32_t slot, const detail::ReadEvent& e, const detail::ReadResult& from);
    void markTouched(std::uint32_t slot);
    void updateOrder();
    void reset(std::uint32_t slot, const detail::Visit& visit);
    void releaseBeforeReading(const std::vector<char>& seen, std::vector<detail::Visit>& visits,
                              std::vector<detail::ReadRange>& ranges, std::int64_t& newBytes);
    void collectIds(std::uint32_t slot, std::unordered_set<std::uint64_t>& into) const;
    void planPieces(std::vector<detail::Visit>& visits, const std::vector<detail::ReadRange>& ranges, bool split,
                    std::vector<detail::Piece>& pieces) const;
    void readAndMerge(std::vector<detail::Visit>& visits, std::vector<detail::Piece>& pieces, int threads);

    std::size_t liveFiles() const { return liveCount; }
};

} // namespace tallyvue
